#include "midlet/classfile/Bytecode.h"

#include <algorithm>
#include <array>

#include "midlet/classfile/ClassCursor.h"

namespace midlet {

namespace {

constexpr const char* kStackMapAttribute = "StackMap";
constexpr const char* kGetAppProperty = "getAppProperty";
constexpr const char* kGetAppPropertyDescriptor = "(Ljava/lang/String;)Ljava/lang/String;";

// The length of each fixed-size instruction with its operands; 0 for the
// switches and wide, whose length depends on their operands, and for the
// opcodes no class file holds.
constexpr std::array<std::uint8_t, 256> FixedLengths() {
    std::array<std::uint8_t, 256> lengths{};
    for (int op = 0; op <= opcode::kLast; ++op) {
        lengths[op] = 1;
    }
    for (int op :
         {0x10, 0x12, 0x15, 0x16, 0x17, 0x18, 0x19, 0x36, 0x37, 0x38, 0x39, 0x3a, 0xa9, 0xbc}) {
        lengths[op] = 2;
    }
    for (int op = 0x99; op <= 0xa8; ++op) {
        lengths[op] = 3;
    }
    for (int op : {0x11, 0x13, 0x14, 0x84, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xbb, 0xbd,
                   0xc0, 0xc1, 0xc6, 0xc7}) {
        lengths[op] = 3;
    }
    lengths[0xc5] = 4;  // multianewarray
    for (int op : {0xb9, 0xba, 0xc8, 0xc9}) {
        lengths[op] = 5;
    }
    for (int op : {opcode::kTableSwitch, opcode::kLookupSwitch, opcode::kWide}) {
        lengths[op] = 0;
    }
    return lengths;
}

constexpr std::array<std::uint8_t, 256> kFixedLengths = FixedLengths();

// The loads, stores and ret that wide may widen.
bool Widens(std::uint8_t op) {
    return (op >= 0x15 && op <= 0x19) || (op >= 0x36 && op <= 0x3a) || op == opcode::kRet ||
           op == opcode::kIinc;
}

// The length of a switch at `offset`: padding to a multiple of four, then
// its default, bounds or pair count, and its table. 0 when it runs past the
// code or its counts make no sense.
std::size_t SwitchLength(std::span<const std::uint8_t> code, std::size_t offset, bool table) {
    ClassCursor cursor(code);
    cursor.Seek(offset + 1);
    cursor.Skip((4 - (offset + 1) % 4) % 4);
    cursor.S4();  // default
    std::int64_t entries = 0;
    std::size_t entryBytes = 4;
    if (table) {
        const std::int64_t low = cursor.S4();
        const std::int64_t high = cursor.S4();
        entries = high - low + 1;
    } else {
        entries = cursor.S4();
        entryBytes = 8;
    }
    if (!cursor.Ok() || entries < 0 ||
        static_cast<std::uint64_t>(entries) > cursor.Remaining() / entryBytes) {
        return 0;
    }
    return cursor.Position() - offset + static_cast<std::size_t>(entries) * entryBytes;
}

std::size_t LengthAt(std::span<const std::uint8_t> code, std::size_t offset) {
    const std::uint8_t op = code[offset];
    switch (op) {
        case opcode::kTableSwitch:
        case opcode::kLookupSwitch:
            return SwitchLength(code, offset, op == opcode::kTableSwitch);
        case opcode::kWide:
            if (offset + 1 >= code.size() || !Widens(code[offset + 1])) {
                return 0;
            }
            return code[offset + 1] == opcode::kIinc ? 6 : 4;
        default:
            return kFixedLengths[op];
    }
}

bool NamesConstant(std::uint8_t op) {
    return op == opcode::kLdc || op == opcode::kLdcW || (op >= 0xb2 && op <= 0xbb) || op == 0xbd ||
           op == 0xc0 || op == 0xc1 || op == 0xc5 || op == 0x14;
}

}  // namespace

std::optional<std::vector<Instruction>> DecodeInstructions(std::span<const std::uint8_t> code) {
    std::vector<Instruction> instructions;
    std::size_t offset = 0;
    while (offset < code.size()) {
        const std::size_t length = LengthAt(code, offset);
        if (length == 0 || length > code.size() - offset) {
            return std::nullopt;
        }
        Instruction instruction{offset, code[offset], length, 0, 0};
        if (instruction.opcode == opcode::kWide) {
            instruction.widened = code[offset + 1];
        } else if (instruction.opcode == opcode::kLdc) {
            instruction.index = code[offset + 1];
        } else if (NamesConstant(instruction.opcode)) {
            instruction.index =
                static_cast<std::uint16_t>((code[offset + 1] << 8) | code[offset + 2]);
        }
        instructions.push_back(instruction);
        offset += length;
    }
    return instructions;
}

bool IsBranch(std::uint8_t op) {
    return (op >= opcode::kIfeq && op <= opcode::kJsr) || op == opcode::kTableSwitch ||
           op == opcode::kLookupSwitch || op == opcode::kIfNull || op == opcode::kIfNonNull ||
           op == opcode::kGotoW || op == opcode::kJsrW;
}

StackMapState StackMapStateOf(const ClassFile& file, const CodeInfo& code) {
    const auto instructions = DecodeInstructions(file.CodeOf(code));
    if (!instructions) {
        return StackMapState::Unreadable;
    }
    // A preverified method has its subroutines inlined.
    const auto subroutine = [](const Instruction& i) {
        return i.opcode == opcode::kJsr || i.opcode == opcode::kJsrW || i.opcode == opcode::kRet ||
               i.widened == opcode::kRet;
    };
    if (std::any_of(instructions->begin(), instructions->end(), subroutine)) {
        return StackMapState::Missing;
    }
    const bool branches =
        code.handlers > 0 || std::any_of(instructions->begin(), instructions->end(),
                                         [](const Instruction& i) { return IsBranch(i.opcode); });
    if (!branches) {
        return StackMapState::NotNeeded;
    }
    return code.HasAttribute(kStackMapAttribute) ? StackMapState::Present : StackMapState::Missing;
}

std::vector<std::string> AppPropertyKeys(const ClassFile& file, const CodeInfo& code) {
    std::vector<std::string> keys;
    const auto instructions = DecodeInstructions(file.CodeOf(code));
    if (!instructions) {
        return keys;
    }
    for (std::size_t i = 1; i < instructions->size(); ++i) {
        const Instruction& load = (*instructions)[i - 1];
        const Instruction& call = (*instructions)[i];
        if ((load.opcode != opcode::kLdc && load.opcode != opcode::kLdcW) ||
            call.opcode != opcode::kInvokeVirtual) {
            continue;
        }
        const std::string* key = file.StringAt(load.index);
        const auto method = file.MemberRefAt(call.index);
        if (key != nullptr && method && method->name == kGetAppProperty &&
            method->descriptor == kGetAppPropertyDescriptor) {
            keys.push_back(*key);
        }
    }
    return keys;
}

}  // namespace midlet
