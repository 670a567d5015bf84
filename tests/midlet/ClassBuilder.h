// Hand-made class files for the class-file reader's tests: a constant pool
// of any tags, a class and its superclass, and methods with code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace classtest {

class ClassBuilder {
  public:
    explicit ClassBuilder(const std::string& name, const std::string& super = "java/lang/Object") {
        thisClass_ = Class(name);
        superClass_ = super.empty() ? 0 : Class(super);
    }

    std::uint16_t Utf8(const std::string& text) {
        std::string bytes = "\x01" + U2(text.size()) + text;
        return Add(bytes);
    }
    std::uint16_t Integer(std::uint32_t v) { return Add("\x03" + U4(v)); }
    std::uint16_t Float(std::uint32_t bits) { return Add("\x04" + U4(bits)); }
    // A long or double takes two slots.
    std::uint16_t Long(std::uint64_t v) { return Add2("\x05" + U4(v >> 32) + U4(v)); }
    std::uint16_t Double(std::uint64_t bits) { return Add2("\x06" + U4(bits >> 32) + U4(bits)); }
    std::uint16_t Class(const std::string& name) { return Ref1('\x07', Utf8(name)); }
    std::uint16_t String(const std::string& text) { return Ref1('\x08', Utf8(text)); }
    std::uint16_t NameAndType(const std::string& name, const std::string& descriptor) {
        const std::uint16_t n = Utf8(name);
        return Ref2('\x0c', n, Utf8(descriptor));
    }
    std::uint16_t Member(char tag, const std::string& owner, const std::string& name,
                         const std::string& descriptor) {
        const std::uint16_t c = Class(owner);
        return Ref2(tag, c, NameAndType(name, descriptor));
    }
    std::uint16_t Fieldref(const std::string& o, const std::string& n, const std::string& d) {
        return Member('\x09', o, n, d);
    }
    std::uint16_t Methodref(const std::string& o, const std::string& n, const std::string& d) {
        return Member('\x0a', o, n, d);
    }
    std::uint16_t InterfaceMethodref(const std::string& o, const std::string& n,
                                     const std::string& d) {
        return Member('\x0b', o, n, d);
    }
    std::uint16_t MethodHandle(std::uint8_t kind, std::uint16_t ref) {
        return Add(std::string("\x0f") + char(kind) + U2(ref));
    }
    std::uint16_t MethodType(const std::string& d) { return Ref1('\x10', Utf8(d)); }
    std::uint16_t Dynamic(char tag, std::uint16_t bootstrap, const std::string& n,
                          const std::string& d) {
        return Ref2(tag, bootstrap, NameAndType(n, d));
    }
    std::uint16_t Module(const std::string& n) { return Ref1('\x13', Utf8(n)); }
    std::uint16_t Package(const std::string& n) { return Ref1('\x14', Utf8(n)); }
    // Raw bytes of a constant, for broken ones.
    std::uint16_t Raw(const std::string& bytes) { return Add(bytes); }

    void Interface(const std::string& name) { interfaces_.push_back(Class(name)); }

    // A method with this bytecode; `handlers` exception table entries and a
    // StackMap attribute when asked.
    void Method(const std::string& name, const std::string& descriptor, const std::string& code,
                int handlers = 0, bool stackMap = false) {
        std::string body = U2(4) + U2(4) + U4(code.size()) + code + U2(handlers);
        for (int i = 0; i < handlers; ++i) {
            body += U2(0) + U2(1) + U2(0) + U2(0);
        }
        body += U2(stackMap ? 1 : 0);
        if (stackMap) {
            body += U2(Utf8("StackMap")) + U4(2) + U2(0);
        }
        const std::uint16_t n = Utf8(name);
        const std::uint16_t d = Utf8(descriptor);
        methods_ += U2(0x0001) + U2(n) + U2(d) + U2(1) + U2(Utf8("Code")) + U4(body.size()) + body;
        ++methodCount_;
    }

    std::string Bytes(std::uint16_t major = 47, std::uint16_t minor = 0) const {
        std::string out = "\xCA\xFE\xBA\xBE" + U2(minor) + U2(major) + U2(slots_) + pool_;
        out += U2(0x0021) + U2(thisClass_) + U2(superClass_) + U2(interfaces_.size());
        for (std::uint16_t i : interfaces_) {
            out += U2(i);
        }
        out += U2(0);  // fields
        out += U2(methodCount_) + methods_;
        out += U2(0);  // class attributes
        return out;
    }

    static std::string U2(std::size_t v) {
        return {static_cast<char>((v >> 8) & 0xff), static_cast<char>(v & 0xff)};
    }
    static std::string U4(std::uint64_t v) { return U2((v >> 16) & 0xffff) + U2(v & 0xffff); }

  private:
    std::uint16_t Add(const std::string& bytes) {
        pool_ += bytes;
        return slots_++;
    }
    std::uint16_t Add2(const std::string& bytes) {
        const std::uint16_t at = Add(bytes);
        ++slots_;
        return at;
    }
    std::uint16_t Ref1(char tag, std::uint16_t a) { return Add(std::string(1, tag) + U2(a)); }
    std::uint16_t Ref2(char tag, std::uint16_t a, std::uint16_t b) {
        return Add(std::string(1, tag) + U2(a) + U2(b));
    }

    std::string pool_;
    std::uint16_t slots_ = 1;
    std::uint16_t thisClass_ = 0;
    std::uint16_t superClass_ = 0;
    std::vector<std::uint16_t> interfaces_;
    std::string methods_;
    int methodCount_ = 0;
};

// Bytecode pieces.
inline std::string Ldc(std::uint16_t index) {
    return index < 256 ? std::string("\x12") + char(index) : "\x13" + ClassBuilder::U2(index);
}
inline std::string InvokeVirtual(std::uint16_t index) {
    return "\xb6" + ClassBuilder::U2(index);
}
inline const std::string kReturn = "\xb1";
inline const std::string kPop = "\x57";
inline const std::string kAload0 = "\x2a";

}  // namespace classtest
