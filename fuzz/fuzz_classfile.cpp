// The class-file reader and the bytecode walk: any input either fails with
// a problem or reads as a class whose attributes and code lie within its
// bytes; every method's code decodes into contiguous instructions or not at
// all, and the stack-map state and key scan take any code. The same bytes
// go through the PNG header reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "midlet/classfile/Bytecode.h"
#include "midlet/classfile/ClassFile.h"
#include "midlet/suite/SuiteParts.h"

namespace {

void CheckWithin(const midlet::ClassFile& file, const midlet::ClassAttribute& attribute) {
    if (attribute.offset > file.bytes.size() ||
        attribute.length > file.bytes.size() - attribute.offset) {
        fuzz::Fail("an attribute lies outside the class file");
    }
}

void CheckCode(const midlet::ClassFile& file, const midlet::CodeInfo& code) {
    const auto bytes = file.CodeOf(code);
    if (bytes.size() != code.codeLength) {
        fuzz::Fail("the code lies outside the class file");
    }
    const auto instructions = midlet::DecodeInstructions(bytes);
    if (instructions) {
        std::size_t next = 0;
        for (const midlet::Instruction& i : *instructions) {
            if (i.offset != next || i.length == 0) {
                fuzz::Fail("the instructions are not contiguous");
            }
            next += i.length;
        }
        if (next != bytes.size()) {
            fuzz::Fail("the instructions do not end with the code");
        }
    }
    midlet::StackMapStateOf(file, code);
    midlet::AppPropertyKeys(file, code);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    midlet::ClassFile file;
    std::string problem;
    if (midlet::ReadClassFile({data, size}, file, problem)) {
        if (!problem.empty() || file.bytes.size() != size) {
            fuzz::Fail("a class read with a problem or not whole");
        }
        for (const auto* members : {&file.fields, &file.methods}) {
            for (const midlet::Member& member : *members) {
                for (const midlet::ClassAttribute& attribute : member.attributes) {
                    CheckWithin(file, attribute);
                }
                if (member.code) {
                    CheckCode(file, *member.code);
                }
            }
        }
        for (std::size_t i = 0; i < file.pool.size(); ++i) {
            file.MemberRefAt(i);
            file.ClassNameAt(i);
            file.StringAt(i);
        }
    } else if (problem.empty()) {
        fuzz::Fail("a class failed without a problem");
    }
    midlet::ScreenSize png;
    midlet::ReadPngSize(fuzz::AsText(data, size), png);
    return 0;
}
