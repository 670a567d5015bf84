// The class-file reader on hand-made class files: every constant-pool tag,
// long and double taking two slots, every truncation, broken references;
// the bytecode walk with its switches and wide forms; the stack-map state
// and the keys passed to getAppProperty.
#include <gtest/gtest.h>

#include <regex>

#include "TestCommands.h"
#include "TestFiles.h"
#include "TestFolder.h"
#include "midlet/ClassBuilder.h"
#include "midlet/classfile/Bytecode.h"
#include "midlet/classfile/ClassFile.h"

namespace {

using classtest::ClassBuilder;
using midlet::ClassFile;
using midlet::ConstantTag;

bool Read(const std::string& bytes, ClassFile& file, std::string& problem) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return midlet::ReadClassFile({data, bytes.size()}, file, problem);
}

std::string Problem(const std::string& bytes) {
    ClassFile file;
    std::string problem;
    return Read(bytes, file, problem) ? "" : problem;
}

// One constant of every tag, with a long and a double between others.
ClassBuilder EveryTag() {
    ClassBuilder b("t/All", "t/Base");
    b.Integer(7);
    b.Float(0x3f800000);
    b.Long(0x0102030405060708);
    b.String("after a long");
    b.Double(0x4000000000000000);
    const std::uint16_t field = b.Fieldref("t/All", "f", "I");
    b.Methodref("t/All", "m", "()V");
    b.InterfaceMethodref("t/I", "run", "()V");
    b.MethodHandle(1, field);
    b.MethodType("(I)V");
    b.Dynamic('\x11', 0, "d", "I");
    b.Dynamic('\x12', 0, "i", "()V");
    b.Module("m");
    b.Package("t");
    b.Interface("t/I");
    b.Method("m", "()V", classtest::kReturn);
    return b;
}

TEST(ClassFile, ReadsEveryTagWithLongAndDoubleInTwoSlots) {
    ClassFile file;
    std::string problem;
    ASSERT_TRUE(Read(EveryTag().Bytes(47, 3), file, problem)) << problem;
    EXPECT_EQ(file.major, 47);
    EXPECT_EQ(file.minor, 3);
    EXPECT_EQ(file.thisClass, "t/All");
    EXPECT_EQ(file.superClass, "t/Base");
    EXPECT_EQ(file.interfaces, std::vector<std::string>{"t/I"});
    std::vector<ConstantTag> tags;
    for (std::size_t i = 1; i < file.pool.size(); ++i) {
        if (file.pool[i].tag == ConstantTag::Long || file.pool[i].tag == ConstantTag::Double) {
            EXPECT_EQ(file.pool[i + 1].tag, ConstantTag::None);  // the unusable second slot
        }
        tags.push_back(file.pool[i].tag);
    }
    for (ConstantTag tag :
         {ConstantTag::Utf8, ConstantTag::Integer, ConstantTag::Float, ConstantTag::Long,
          ConstantTag::Double, ConstantTag::Class, ConstantTag::String, ConstantTag::Fieldref,
          ConstantTag::Methodref, ConstantTag::InterfaceMethodref, ConstantTag::NameAndType,
          ConstantTag::MethodHandle, ConstantTag::MethodType, ConstantTag::Dynamic,
          ConstantTag::InvokeDynamic, ConstantTag::Module, ConstantTag::Package}) {
        EXPECT_NE(std::find(tags.begin(), tags.end(), tag), tags.end()) << int(tag);
    }
    // The text after the long sits two slots on.
    bool found = false;
    for (std::size_t i = 1; i < file.pool.size(); ++i) {
        const std::string* text = file.Utf8At(i);
        found = found || (text != nullptr && *text == "after a long" &&
                          file.pool[i - 2].tag == ConstantTag::Long);
    }
    EXPECT_TRUE(found);
    ASSERT_EQ(file.methods.size(), 1u);
    ASSERT_TRUE(file.methods[0].code.has_value());
    EXPECT_EQ(file.CodeOf(*file.methods[0].code).size(), 1u);
}

// Every cut of a good class file fails cleanly, never past its bytes, and
// so does every single changed byte (or reads as a class).
TEST(ClassFile, EveryTruncationAndEveryFlippedByteFailsCleanly) {
    const std::string whole = EveryTag().Bytes();
    for (std::size_t size = 0; size < whole.size(); ++size) {
        EXPECT_NE(Problem(whole.substr(0, size)), "") << size;
    }
    EXPECT_EQ(Problem(whole + "x"), "bytes follow the end of the class");
    for (std::size_t at = 0; at < whole.size(); ++at) {
        std::string changed = whole;
        changed[at] = static_cast<char>(changed[at] ^ 0xff);
        Problem(changed);  // must not crash or read out of bounds
    }
}

TEST(ClassFile, NamesWhatIsWrong) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* problem;
    };
    ClassBuilder lastLong("t/L");
    lastLong.Long(1);
    std::string longInLastSlot = lastLong.Bytes();
    // Drop the slot count by one: the long now sits in the last slot.
    longInLastSlot[9] = static_cast<char>(longInLastSlot[9] - 1);
    ClassBuilder unknownTag("t/U");
    unknownTag.Raw("\x02");
    ClassBuilder stringToInt("t/S");
    const std::uint16_t number = stringToInt.Integer(3);
    stringToInt.Raw("\x08" + ClassBuilder::U2(number));
    const Case cases[] = {
        {"magic", "\xCA\xFE\xBA\xBF" + std::string(20, '\0'), "not a class file"},
        {"empty pool", std::string("\xCA\xFE\xBA\xBE\0\0\0\x2f\0\0", 10),
         "the constant pool count is 0"},
        {"long in the last slot", longInLastSlot, "is a long or double in the last slot"},
        {"unknown tag", unknownTag.Bytes(), "has the unknown tag 2"},
        {"string of a number", stringToInt.Bytes(), "refers to a wrong constant"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(Problem(c.bytes).find(c.problem), std::string::npos)
            << c.name << ": " << Problem(c.bytes);
    }
}

// Decoding: the switches pad to four bytes from the code's start, wide
// lengthens loads and iinc, and nothing runs past the end.
TEST(Bytecode, DecodesSwitchesAndWideForms) {
    const std::string U4a = ClassBuilder::U4(0);
    // nop, tableswitch at 1 (pads 2 bytes), low 1 high 2: two offsets.
    std::string code = std::string("\x00\xaa\0\0", 4) + U4a + ClassBuilder::U4(1) +
                       ClassBuilder::U4(2) + U4a + U4a;
    // lookupswitch at 24 (pads 3 bytes), one pair.
    code += "\xab" + std::string(3, '\0') + U4a + ClassBuilder::U4(1) + U4a + U4a;
    code += std::string("\xc4\x15\x01\x00", 4);          // wide iload
    code += std::string("\xc4\x84\x01\x00\x00\x05", 6);  // wide iinc
    code += classtest::kReturn;
    const auto* data = reinterpret_cast<const std::uint8_t*>(code.data());
    const auto decoded = midlet::DecodeInstructions({data, code.size()});
    ASSERT_TRUE(decoded.has_value());
    std::vector<std::size_t> offsets;
    for (const midlet::Instruction& i : *decoded) {
        offsets.push_back(i.offset);
    }
    EXPECT_EQ(offsets, (std::vector<std::size_t>{0, 1, 24, 44, 48, 54}));
    EXPECT_EQ((*decoded)[4].widened, 0x84);

    for (std::size_t size = 1; size < code.size() - 1; ++size) {
        const auto cut = midlet::DecodeInstructions({data, size});
        // A cut that falls between instructions decodes; any other does not.
        EXPECT_EQ(cut.has_value(), std::find(offsets.begin(), offsets.end(), size) != offsets.end())
            << size;
    }
    const std::string bad[] = {"\xca", "\xc4\x10\x00\x00",
                               "\xaa\0\0\0" + U4a + ClassBuilder::U4(5) + ClassBuilder::U4(1)};
    for (const std::string& b : bad) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(b.data());
        EXPECT_FALSE(midlet::DecodeInstructions({p, b.size()}).has_value());
    }
}

// Straight code needs no stack map; a branch, a handler or a subroutine
// needs one, and a subroutine is never preverified.
TEST(Bytecode, StackMapStateFollowsBranchesHandlersAndSubroutines) {
    const std::string ifeq = std::string("\x03\x99\x00\x03", 4) + classtest::kReturn;
    const std::string jsr = std::string("\xa8\x00\x03", 3) + classtest::kReturn + "\x4c\xa9\x01";
    struct Case {
        std::string code;
        int handlers;
        bool stackMap;
        midlet::StackMapState state;
    };
    const Case cases[] = {
        {classtest::kReturn, 0, false, midlet::StackMapState::NotNeeded},
        {ifeq, 0, false, midlet::StackMapState::Missing},
        {ifeq, 0, true, midlet::StackMapState::Present},
        {classtest::kReturn, 1, false, midlet::StackMapState::Missing},
        {jsr, 0, true, midlet::StackMapState::Missing},
        {"\xb6", 0, false, midlet::StackMapState::Unreadable},
    };
    for (const Case& c : cases) {
        ClassBuilder b("t/M");
        b.Method("m", "()V", c.code, c.handlers, c.stackMap);
        ClassFile file;
        std::string problem;
        ASSERT_TRUE(Read(b.Bytes(), file, problem)) << problem;
        EXPECT_EQ(midlet::StackMapStateOf(file, *file.methods[0].code), c.state);
    }
}

TEST(Bytecode, KeysAreConstantsLoadedRightBeforeGetAppProperty) {
    ClassBuilder b("t/Game", "javax/microedition/midlet/MIDlet");
    const std::uint16_t own =
        b.Methodref("t/Game", "getAppProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    const std::uint16_t other =
        b.Methodref("t/Game", "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    const std::uint16_t idle = b.String("Glu-Idle-Threshold");
    const std::uint16_t unused = b.String("Not-A-Key");
    // Pad the pool so that a key needs ldc_w.
    for (int i = 0; i < 260; ++i) {
        b.Integer(static_cast<std::uint32_t>(i));
    }
    const std::uint16_t wide = b.String("Wide-Key");
    using classtest::InvokeVirtual;
    using classtest::Ldc;
    const std::string code = classtest::kAload0 + Ldc(idle) + InvokeVirtual(own) + classtest::kPop +
                             classtest::kAload0 + Ldc(unused) + InvokeVirtual(other) +
                             classtest::kPop + classtest::kAload0 + Ldc(unused) + classtest::kPop +
                             classtest::kAload0 + Ldc(wide) + InvokeVirtual(own) + classtest::kPop +
                             classtest::kReturn;
    b.Method("startApp", "()V", code);
    ClassFile file;
    std::string problem;
    ASSERT_TRUE(Read(b.Bytes(), file, problem)) << problem;
    EXPECT_EQ(midlet::AppPropertyKeys(file, *file.methods[0].code),
              (std::vector<std::string>{"Glu-Idle-Threshold", "Wide-Key"}));
}

// A class javac writes reads as javap shows it: the same constant count,
// superclass and methods; its switches and handler decode, and the key it
// passes to getAppProperty is found. Java 8 code carries StackMapTable,
// not the CLDC StackMap, so a branching method lacks its stack maps.
TEST(ClassFile, ReadsWhatJavacWritesAsJavapShowsIt) {
    TestFolder folder;
    WriteBytes(folder / "t/Seed.java",
               "package t;\n"
               "public class Seed extends java.util.Random implements Runnable {\n"
               "    long big = 0x0102030405060708L;\n"
               "    double half = 0.5;\n"
               "    String getAppProperty(String key) { return key; }\n"
               "    public void run() {}\n"
               "    int pick(int n) {\n"
               "        switch (n) { case 1: return 10; case 2: return 20; default: break; }\n"
               "        switch (n) { case 100: return 1; case 5000: return 2; default: break; }\n"
               "        try { return Integer.parseInt(getAppProperty(\"Seed-Key\")); }\n"
               "        catch (RuntimeException e) { return -1; }\n"
               "    }\n"
               "}\n");
    ASSERT_EQ(Shell("cd " + Quote(folder.Path()) + " && javac --release 8 t/Seed.java").status, 0);
    const std::string bytes = ReadBytes(folder / "t/Seed.class");
    ClassFile file;
    std::string problem;
    ASSERT_TRUE(Read(bytes, file, problem)) << problem;

    const std::string javap = Shell("javap -v -p " + Quote(folder / "t/Seed.class")).out;
    std::size_t highest = 0;
    const std::regex constant(R"(\n +#(\d+) = )");
    for (auto it = std::sregex_iterator(javap.begin(), javap.end(), constant);
         it != std::sregex_iterator(); ++it) {
        highest = std::max<std::size_t>(highest, std::stoul((*it)[1]));
    }
    // A long or double in the last place would take one slot more.
    EXPECT_GE(file.pool.size(), highest + 1);
    EXPECT_LE(file.pool.size(), highest + 2);
    EXPECT_EQ(file.major, 52);
    EXPECT_EQ(file.superClass, "java/util/Random");
    EXPECT_EQ(file.interfaces, std::vector<std::string>{"java/lang/Runnable"});
    std::vector<std::string> methods;
    for (const midlet::Member& m : file.methods) {
        methods.push_back(m.name + m.descriptor);
        if (m.name == "pick") {
            EXPECT_EQ(midlet::AppPropertyKeys(file, *m.code), std::vector<std::string>{"Seed-Key"});
            EXPECT_EQ(midlet::StackMapStateOf(file, *m.code), midlet::StackMapState::Missing);
            EXPECT_EQ(m.code->handlers, 1);
        }
    }
    EXPECT_EQ(methods, (std::vector<std::string>{"<init>()V",
                                                 "getAppProperty(Ljava/lang/String;)"
                                                 "Ljava/lang/String;",
                                                 "run()V", "pick(I)I"}));
}

}  // namespace
