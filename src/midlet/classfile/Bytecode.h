// Walking a method's bytecode instruction by instruction, and what the
// suite's analyses ask of it: the constant pool index an instruction
// names, whether the method branches (and so needs stack maps to be
// verified on a phone), and which text constants reach getAppProperty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "midlet/classfile/ClassFile.h"

namespace midlet {

namespace opcode {
inline constexpr std::uint8_t kLdc = 0x12;
inline constexpr std::uint8_t kLdcW = 0x13;
inline constexpr std::uint8_t kIinc = 0x84;
inline constexpr std::uint8_t kIfeq = 0x99;  // first of the conditional branches
inline constexpr std::uint8_t kGoto = 0xa7;
inline constexpr std::uint8_t kJsr = 0xa8;
inline constexpr std::uint8_t kRet = 0xa9;
inline constexpr std::uint8_t kTableSwitch = 0xaa;
inline constexpr std::uint8_t kLookupSwitch = 0xab;
inline constexpr std::uint8_t kInvokeVirtual = 0xb6;
inline constexpr std::uint8_t kWide = 0xc4;
inline constexpr std::uint8_t kIfNull = 0xc6;
inline constexpr std::uint8_t kIfNonNull = 0xc7;
inline constexpr std::uint8_t kGotoW = 0xc8;
inline constexpr std::uint8_t kJsrW = 0xc9;
inline constexpr std::uint8_t kLast = 0xc9;  // higher opcodes never appear in a class file
}  // namespace opcode

struct Instruction {
    std::size_t offset = 0;
    std::uint8_t opcode = 0;
    std::size_t length = 0;    // with its operands (and a wide prefix)
    std::uint16_t index = 0;   // the constant pool index of ldc, ldc_w, the invokes, ...
    std::uint8_t widened = 0;  // after wide: the opcode it widens
};

// The instructions of `code` in order; nothing when an opcode is unknown or
// an instruction runs past the end.
std::optional<std::vector<Instruction>> DecodeInstructions(std::span<const std::uint8_t> code);

// True for branches, jumps, switches and subroutine calls.
bool IsBranch(std::uint8_t opcode);

// How a method stands to the stack maps a phone's verifier needs.
enum class StackMapState {
    NotNeeded,   // straight code without handlers
    Present,     // branches, and a StackMap attribute
    Missing,     // branches or handlers without a StackMap, or subroutines
    Unreadable,  // the bytecode does not decode
};

StackMapState StackMapStateOf(const ClassFile& file, const CodeInfo& code);

// The text constants loaded right before a call of getAppProperty(String),
// in code order.
std::vector<std::string> AppPropertyKeys(const ClassFile& file, const CodeInfo& code);

}  // namespace midlet
