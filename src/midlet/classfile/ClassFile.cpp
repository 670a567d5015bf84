#include "midlet/classfile/ClassFile.h"

#include <algorithm>
#include <utility>

#include "midlet/classfile/ClassCursor.h"

namespace midlet {

namespace {

constexpr const char* kCodeAttribute = "Code";
// The fixed fields of a Code attribute before its bytecode: max_stack,
// max_locals, code_length.
constexpr std::size_t kCodeHeaderBytes = 8;
constexpr std::size_t kHandlerBytes = 8;

// Reads the parts of a class file in order; the first problem stops it.
class ClassReader {
  public:
    ClassReader(std::span<const std::uint8_t> bytes, ClassFile& file)
        : cursor_(bytes), file_(file) {}

    bool Read(std::string& problem) {
        ReadHeader() && ReadPool() && CheckPool() && ReadClassNames() &&
            ReadMembers(file_.fields) && ReadMembers(file_.methods) &&
            ReadAttributes(cursor_, file_.attributes, "the class") && ReadEnd();
        problem = problem_;
        return problem_.empty();
    }

  private:
    bool Fail(std::string problem) {
        if (problem_.empty()) {
            problem_ = std::move(problem);
        }
        return false;
    }

    bool Truncated(const std::string& what) { return Fail("truncated " + what); }

    bool ReadHeader() {
        const std::uint32_t magic = cursor_.U4();
        file_.minor = cursor_.U2();
        file_.major = cursor_.U2();
        if (!cursor_.Ok() || magic != kClassMagic) {
            return Fail("not a class file");
        }
        return true;
    }

    bool ReadPool() {
        const std::uint16_t count = cursor_.U2();
        if (!cursor_.Ok()) {
            return Truncated("constant pool");
        }
        if (count == 0) {
            return Fail("the constant pool count is 0");
        }
        file_.pool.assign(count, Constant{});
        for (std::size_t i = 1; i < count; ++i) {
            Constant& constant = file_.pool[i];
            if (!ReadConstant(i, constant)) {
                return false;
            }
            // A long or double takes two slots; the second stays unusable.
            if (constant.tag == ConstantTag::Long || constant.tag == ConstantTag::Double) {
                if (i + 1 >= count) {
                    return Fail("constant " + std::to_string(i) +
                                " is a long or double in the last slot");
                }
                ++i;
            }
        }
        return true;
    }

    bool ReadConstant(std::size_t index, Constant& constant) {
        const std::uint8_t tag = cursor_.U1();
        constant.tag = static_cast<ConstantTag>(tag);
        switch (constant.tag) {
            case ConstantTag::Utf8:
                constant.text = cursor_.String(cursor_.U2());
                break;
            case ConstantTag::Integer:
            case ConstantTag::Float:
                constant.value = cursor_.U4();
                break;
            case ConstantTag::Long:
            case ConstantTag::Double:
                constant.value = std::uint64_t{cursor_.U4()} << 32;
                constant.value |= cursor_.U4();
                break;
            case ConstantTag::Class:
            case ConstantTag::String:
            case ConstantTag::MethodType:
            case ConstantTag::Module:
            case ConstantTag::Package:
                constant.first = cursor_.U2();
                break;
            case ConstantTag::Fieldref:
            case ConstantTag::Methodref:
            case ConstantTag::InterfaceMethodref:
            case ConstantTag::NameAndType:
            case ConstantTag::Dynamic:
            case ConstantTag::InvokeDynamic:
                constant.first = cursor_.U2();
                constant.second = cursor_.U2();
                break;
            case ConstantTag::MethodHandle:
                constant.first = cursor_.U1();
                constant.second = cursor_.U2();
                break;
            default:
                return cursor_.Ok() ? Fail("constant " + std::to_string(index) +
                                           " has the unknown tag " + std::to_string(tag))
                                    : Truncated("constant pool");
        }
        return cursor_.Ok() || Truncated("constant pool");
    }

    // Every reference inside the pool names a constant of the right kind.
    bool CheckPool() {
        for (std::size_t i = 1; i < file_.pool.size(); ++i) {
            if (!ReferencesFit(file_.pool[i])) {
                return Fail("constant " + std::to_string(i) + " refers to a wrong constant");
            }
        }
        return true;
    }

    bool Is(std::size_t index, ConstantTag tag) const {
        return file_.ConstantAt(index, tag) != nullptr;
    }

    bool ReferencesFit(const Constant& c) const {
        switch (c.tag) {
            case ConstantTag::Class:
            case ConstantTag::String:
            case ConstantTag::MethodType:
            case ConstantTag::Module:
            case ConstantTag::Package:
                return Is(c.first, ConstantTag::Utf8);
            case ConstantTag::Fieldref:
            case ConstantTag::Methodref:
            case ConstantTag::InterfaceMethodref:
                return Is(c.first, ConstantTag::Class) && Is(c.second, ConstantTag::NameAndType);
            case ConstantTag::NameAndType:
                return Is(c.first, ConstantTag::Utf8) && Is(c.second, ConstantTag::Utf8);
            case ConstantTag::Dynamic:
            case ConstantTag::InvokeDynamic:
                return Is(c.second, ConstantTag::NameAndType);
            case ConstantTag::MethodHandle:
                return c.first >= 1 && c.first <= 9 &&
                       (Is(c.second, ConstantTag::Fieldref) ||
                        Is(c.second, ConstantTag::Methodref) ||
                        Is(c.second, ConstantTag::InterfaceMethodref));
            default:
                return true;
        }
    }

    bool ReadClassNames() {
        file_.access = cursor_.U2();
        const std::uint16_t thisIndex = cursor_.U2();
        const std::uint16_t superIndex = cursor_.U2();
        const std::uint16_t interfaceCount = cursor_.U2();
        if (!cursor_.Ok()) {
            return Truncated("class header");
        }
        const std::string* thisName = file_.ClassNameAt(thisIndex);
        const std::string* superName = file_.ClassNameAt(superIndex);
        if (thisName == nullptr || (superIndex != 0 && superName == nullptr)) {
            return Fail("the class or its superclass is no class constant");
        }
        file_.thisClass = *thisName;
        file_.superClass = superName != nullptr ? *superName : std::string();
        for (std::uint16_t i = 0; i < interfaceCount; ++i) {
            const std::string* name = file_.ClassNameAt(cursor_.U2());
            if (!cursor_.Ok()) {
                return Truncated("interfaces");
            }
            if (name == nullptr) {
                return Fail("an interface is no class constant");
            }
            file_.interfaces.push_back(*name);
        }
        return true;
    }

    bool ReadMembers(std::vector<Member>& members) {
        const std::uint16_t count = cursor_.U2();
        if (!cursor_.Ok()) {
            return Truncated("members");
        }
        members.reserve(std::min<std::size_t>(count, cursor_.Remaining() / 8));
        for (std::uint16_t i = 0; i < count; ++i) {
            Member member;
            member.access = cursor_.U2();
            const std::string* name = file_.Utf8At(cursor_.U2());
            const std::string* descriptor = file_.Utf8At(cursor_.U2());
            if (!cursor_.Ok()) {
                return Truncated("members");
            }
            if (name == nullptr || descriptor == nullptr) {
                return Fail("a member's name or descriptor is no text constant");
            }
            member.name = *name;
            member.descriptor = *descriptor;
            if (!ReadAttributes(cursor_, member.attributes, member.name) || !ReadCodeOf(member)) {
                return false;
            }
            members.push_back(std::move(member));
        }
        return true;
    }

    // Attributes at the cursor; their offsets count from the class file's
    // start whatever the cursor spans, so nested ones read the same way.
    bool ReadAttributes(ClassCursor& cursor, std::vector<ClassAttribute>& attributes,
                        const std::string& owner, std::size_t base = 0) {
        const std::uint16_t count = cursor.U2();
        for (std::uint16_t i = 0; i < count && cursor.Ok(); ++i) {
            const std::string* name = file_.Utf8At(cursor.U2());
            const std::uint32_t length = cursor.U4();
            const std::size_t offset = base + cursor.Position();
            cursor.Skip(length);
            if (cursor.Ok() && name == nullptr) {
                return Fail("an attribute of " + owner + " has no text constant for a name");
            }
            if (cursor.Ok()) {
                attributes.push_back({*name, offset, length});
            }
        }
        return cursor.Ok() || Truncated("attributes of " + owner);
    }

    bool ReadCodeOf(Member& member) {
        for (const ClassAttribute& attribute : member.attributes) {
            if (attribute.name != kCodeAttribute) {
                continue;
            }
            if (member.code) {
                return Fail(member.name + " has two Code attributes");
            }
            member.code = CodeInfo{};
            if (!ReadCode(attribute, *member.code, member.name)) {
                return false;
            }
        }
        return true;
    }

    bool ReadCode(const ClassAttribute& attribute, CodeInfo& code, const std::string& owner) {
        ClassCursor cursor(file_.BytesOf(attribute));
        code.maxStack = cursor.U2();
        code.maxLocals = cursor.U2();
        code.codeLength = cursor.U4();
        code.codeOffset = attribute.offset + kCodeHeaderBytes;
        cursor.Skip(code.codeLength);
        code.handlers = cursor.U2();
        cursor.Skip(std::size_t{code.handlers} * kHandlerBytes);
        if (!cursor.Ok()) {
            return Truncated("code of " + owner);
        }
        if (!ReadAttributes(cursor, code.attributes, owner, attribute.offset)) {
            return false;
        }
        if (cursor.Remaining() != 0) {
            return Fail("the Code attribute of " + owner + " is longer than its parts");
        }
        return true;
    }

    bool ReadEnd() {
        if (cursor_.Remaining() != 0) {
            return Fail("bytes follow the end of the class");
        }
        return true;
    }

    ClassCursor cursor_;
    ClassFile& file_;
    std::string problem_;
};

}  // namespace

bool CodeInfo::HasAttribute(const std::string& name) const {
    return std::any_of(attributes.begin(), attributes.end(),
                       [&](const ClassAttribute& a) { return a.name == name; });
}

const Constant* ClassFile::ConstantAt(std::size_t index, ConstantTag tag) const {
    if (index == 0 || index >= pool.size() || pool[index].tag != tag) {
        return nullptr;
    }
    return &pool[index];
}

const std::string* ClassFile::Utf8At(std::size_t index) const {
    const Constant* c = ConstantAt(index, ConstantTag::Utf8);
    return c != nullptr ? &c->text : nullptr;
}

const std::string* ClassFile::ClassNameAt(std::size_t index) const {
    const Constant* c = ConstantAt(index, ConstantTag::Class);
    return c != nullptr ? Utf8At(c->first) : nullptr;
}

const std::string* ClassFile::StringAt(std::size_t index) const {
    const Constant* c = ConstantAt(index, ConstantTag::String);
    return c != nullptr ? Utf8At(c->first) : nullptr;
}

std::optional<MemberRef> ClassFile::MemberRefAt(std::size_t index) const {
    if (index == 0 || index >= pool.size()) {
        return std::nullopt;
    }
    const Constant& c = pool[index];
    if (c.tag != ConstantTag::Fieldref && c.tag != ConstantTag::Methodref &&
        c.tag != ConstantTag::InterfaceMethodref) {
        return std::nullopt;
    }
    const std::string* owner = ClassNameAt(c.first);
    const Constant* nameAndType = ConstantAt(c.second, ConstantTag::NameAndType);
    if (owner == nullptr || nameAndType == nullptr) {
        return std::nullopt;
    }
    const std::string* name = Utf8At(nameAndType->first);
    const std::string* descriptor = Utf8At(nameAndType->second);
    if (name == nullptr || descriptor == nullptr) {
        return std::nullopt;
    }
    return MemberRef{c.tag, *owner, *name, *descriptor};
}

std::span<const std::uint8_t> ClassFile::BytesOf(const ClassAttribute& attribute) const {
    if (attribute.offset > bytes.size() || attribute.length > bytes.size() - attribute.offset) {
        return {};
    }
    return std::span<const std::uint8_t>(bytes).subspan(attribute.offset, attribute.length);
}

std::span<const std::uint8_t> ClassFile::CodeOf(const CodeInfo& code) const {
    return BytesOf({{}, code.codeOffset, code.codeLength});
}

bool ReadClassFile(std::span<const std::uint8_t> bytes, ClassFile& file, std::string& problem) {
    file = ClassFile{};
    file.bytes.assign(bytes.begin(), bytes.end());
    ClassReader reader(file.bytes, file);
    return reader.Read(problem);
}

}  // namespace midlet
