// A Java class file as a MIDlet suite carries it: the constant pool, the
// class and its superclass, the interfaces, the fields and methods with
// their attributes, and the code of each method. The reader is strict: a
// structure that runs past its bounds, a constant that refers to the wrong
// kind of constant, or bytes left over make the whole file unreadable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace midlet {

enum class ConstantTag : std::uint8_t {
    None = 0,  // slot 0, and the second slot of a long or double
    Utf8 = 1,
    Integer = 3,
    Float = 4,
    Long = 5,
    Double = 6,
    Class = 7,
    String = 8,
    Fieldref = 9,
    Methodref = 10,
    InterfaceMethodref = 11,
    NameAndType = 12,
    MethodHandle = 15,
    MethodType = 16,
    Dynamic = 17,
    InvokeDynamic = 18,
    Module = 19,
    Package = 20,
};

struct Constant {
    ConstantTag tag = ConstantTag::None;
    std::uint16_t first = 0;   // the first index (or kind) the constant holds
    std::uint16_t second = 0;  // the second index, where it holds two
    std::uint64_t value = 0;   // Integer, Float, Long, Double: the raw bits
    std::string text;          // Utf8: the bytes as stored (modified UTF-8)
};

// An attribute: its name and where its bytes lie in the class file.
struct ClassAttribute {
    std::string name;
    std::size_t offset = 0;
    std::size_t length = 0;
};

struct CodeInfo {
    std::uint16_t maxStack = 0;
    std::uint16_t maxLocals = 0;
    std::size_t codeOffset = 0;  // the bytecode, within the class file
    std::size_t codeLength = 0;
    std::uint16_t handlers = 0;  // exception table entries
    std::vector<ClassAttribute> attributes;

    bool HasAttribute(const std::string& name) const;
};

struct Member {
    std::uint16_t access = 0;
    std::string name;
    std::string descriptor;
    std::vector<ClassAttribute> attributes;
    std::optional<CodeInfo> code;  // methods with a Code attribute
};

// A field, method or interface method a constant refers to.
struct MemberRef {
    ConstantTag kind = ConstantTag::None;
    std::string owner;  // internal form: java/lang/String
    std::string name;
    std::string descriptor;
};

inline constexpr std::uint32_t kClassMagic = 0xCAFEBABE;
// Offsets of the header fields.
inline constexpr std::size_t kClassMinorOffset = 4;
inline constexpr std::size_t kClassMajorOffset = 6;
inline constexpr std::size_t kClassPoolCountOffset = 8;

class ClassFile {
  public:
    std::uint16_t minor = 0;
    std::uint16_t major = 0;
    std::uint16_t access = 0;
    std::string thisClass;   // internal form
    std::string superClass;  // empty for java/lang/Object
    std::vector<std::string> interfaces;
    std::vector<Member> fields;
    std::vector<Member> methods;
    std::vector<ClassAttribute> attributes;
    std::vector<Constant> pool;  // indexed as in the file; slot 0 unused
    std::vector<std::uint8_t> bytes;

    // The constant at `index` when it has `tag`; null otherwise.
    const Constant* ConstantAt(std::size_t index, ConstantTag tag) const;
    // The text of the Utf8 constant at `index`.
    const std::string* Utf8At(std::size_t index) const;
    // The name of the Class constant at `index`.
    const std::string* ClassNameAt(std::size_t index) const;
    // The text of the String constant at `index`.
    const std::string* StringAt(std::size_t index) const;
    // The field or method the constant at `index` refers to.
    std::optional<MemberRef> MemberRefAt(std::size_t index) const;

    std::span<const std::uint8_t> BytesOf(const ClassAttribute& attribute) const;
    std::span<const std::uint8_t> CodeOf(const CodeInfo& code) const;
};

// Reads a class file. False, with what is wrong in `problem`, for bytes
// that are no well-formed class file; nothing is thrown for bad input.
bool ReadClassFile(std::span<const std::uint8_t> bytes, ClassFile& file, std::string& problem);

}  // namespace midlet
