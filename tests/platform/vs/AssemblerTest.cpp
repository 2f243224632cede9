#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vs/Assembler.h"

namespace {

using Tokens = std::vector<uint32_t>;

// Tokens of the instructions in `body`, without the version, the trailing "mov oPos, v0"
// that every test program needs, and the end token.
Tokens bodyTokens(const std::string& body, const std::string& version = "vs.1.1") {
    const vs::Assembly a = vs::assemble(version + "\n" + body + "\nmov oPos, v0\n", "t.vsh");
    EXPECT_GE(a.function.size(), 5u);
    return Tokens(a.function.begin() + 1, a.function.end() - 4);
}

struct OpCase {
    const char* line;
    Tokens tokens;
};

// Every instruction with its hand-encoded tokens. r0 = 0x800F0000 as destination,
// v0 / v1 = 0x90E40000 / 0x90E40001, c2 = 0xA0E40002 as sources.
TEST(AssemblerEncodesInstructions, EveryMnemonicWithItsOperands) {
    const std::vector<OpCase> cases = {
        {"nop", {0x00000000}},
        {"mov r0, v0", {0x00000001, 0x800F0000, 0x90E40000}},
        {"add r0, v0, c2", {0x00000002, 0x800F0000, 0x90E40000, 0xA0E40002}},
        {"mad r0, v0, c2, v0", {0x00000004, 0x800F0000, 0x90E40000, 0xA0E40002, 0x90E40000}},
        {"mul r0, v0, c2", {0x00000005, 0x800F0000, 0x90E40000, 0xA0E40002}},
        {"rcp r0, v0", {0x00000006, 0x800F0000, 0x90E40000}},
        {"rsq r0, v0", {0x00000007, 0x800F0000, 0x90E40000}},
        {"dp3 r0, v0, c2", {0x00000008, 0x800F0000, 0x90E40000, 0xA0E40002}},
        {"dp4 r0, v0, c2", {0x00000009, 0x800F0000, 0x90E40000, 0xA0E40002}},
        {"min r0, v0, c2", {0x0000000A, 0x800F0000, 0x90E40000, 0xA0E40002}},
        {"max r0, v0, c2", {0x0000000B, 0x800F0000, 0x90E40000, 0xA0E40002}},
        {"slt r0, v0, c2", {0x0000000C, 0x800F0000, 0x90E40000, 0xA0E40002}},
        {"sge r0, v0, c2", {0x0000000D, 0x800F0000, 0x90E40000, 0xA0E40002}},
        {"exp r0, v0", {0x0000000E, 0x800F0000, 0x90E40000}},
        {"log r0, v0", {0x0000000F, 0x800F0000, 0x90E40000}},
        {"lit r0, v0", {0x00000010, 0x800F0000, 0x90E40000}},
        {"dst r0, v0, c2", {0x00000011, 0x800F0000, 0x90E40000, 0xA0E40002}},
        {"frc r0.xy, v0", {0x00000013, 0x80030000, 0x90E40000}},
        {"m4x4 r0, v0, c2", {0x00000014, 0x800F0000, 0x90E40000, 0xA0E40002}},
        {"m4x3 r0.xyz, v0, c2", {0x00000015, 0x80070000, 0x90E40000, 0xA0E40002}},
        {"m3x4 r0, v0, c2", {0x00000016, 0x800F0000, 0x90E40000, 0xA0E40002}},
        {"m3x3 r0.xyz, v0, c2", {0x00000017, 0x80070000, 0x90E40000, 0xA0E40002}},
        {"m3x2 r0.xy, v0, c2", {0x00000018, 0x80030000, 0x90E40000, 0xA0E40002}},
        {"expp r0, v0", {0x0000004E, 0x800F0000, 0x90E40000}},
        {"logp r0, v0", {0x0000004F, 0x800F0000, 0x90E40000}},
    };
    for (const OpCase& c : cases) EXPECT_EQ(bodyTokens(c.line), c.tokens) << c.line;
}

// There is no subtraction token for vertex shaders: a - b goes out as a + (-b), and a
// second source that was already negated comes back positive.
TEST(AssemblerEncodesInstructions, SubBecomesAddWithNegatedSecondSource) {
    EXPECT_EQ(bodyTokens("sub r0, v0, c2"), (Tokens{0x00000002, 0x800F0000, 0x90E40000, 0xA1E40002}));
    EXPECT_EQ(bodyTokens("sub r0, v0, -c2"), (Tokens{0x00000002, 0x800F0000, 0x90E40000, 0xA0E40002}));
}

TEST(AssemblerEncodesRegisters, EveryRegisterFileAtItsLimits) {
    EXPECT_EQ(bodyTokens("mov r11, v15"), (Tokens{1, 0x800F000B, 0x90E4000F}));
    EXPECT_EQ(bodyTokens("mov r0, c95"), (Tokens{1, 0x800F0000, 0xA0E4005F}));
    EXPECT_EQ(bodyTokens("mov oFog.x, v0"), (Tokens{1, 0xC0010001, 0x90E40000}));
    EXPECT_EQ(bodyTokens("mov oPts.x, v0"), (Tokens{1, 0xC0010002, 0x90E40000}));
    EXPECT_EQ(bodyTokens("mov oD0, v0"), (Tokens{1, 0xD00F0000, 0x90E40000}));
    EXPECT_EQ(bodyTokens("mov oD1, v0"), (Tokens{1, 0xD00F0001, 0x90E40000}));
    EXPECT_EQ(bodyTokens("mov oT0, v0"), (Tokens{1, 0xE00F0000, 0x90E40000}));
    EXPECT_EQ(bodyTokens("mov oT7, v0"), (Tokens{1, 0xE00F0007, 0x90E40000}));
    // Names are case-insensitive.
    EXPECT_EQ(bodyTokens("MOV OT7, V0"), (Tokens{1, 0xE00F0007, 0x90E40000}));
}

TEST(AssemblerEncodesRegisters, AddressRegisterAndRelativeConstants) {
    EXPECT_EQ(bodyTokens("mov a0.x, v0.y\nmov r0, c[a0.x + 4]\nmov r1, c[a0.x]\nmov r2, -c[7 + a0.x].w"),
              (Tokens{1, 0xB0010000, 0x90550000,   // a0.x <- v0.yyyy
                      1, 0x800F0000, 0xA0E42004,   // relative bit 13
                      1, 0x800F0001, 0xA0E42000,
                      1, 0x800F0002, 0xA1FF2007}));
    // c[n] without a0 is the plain register.
    EXPECT_EQ(bodyTokens("mov r0, c[5]"), (Tokens{1, 0x800F0000, 0xA0E40005}));
}

TEST(AssemblerEncodesSwizzles, FullPartialNegatedAndColourLetters) {
    auto sourceOf = [](const std::string& src) { return bodyTokens("mov r0, " + src)[2]; };
    EXPECT_EQ(sourceOf("v0.xyzw"), 0x90E40000u);
    EXPECT_EQ(sourceOf("v0.rgba"), 0x90E40000u);
    EXPECT_EQ(sourceOf("v0.wzyx"), 0x901B0000u);
    EXPECT_EQ(sourceOf("v0.yzwx"), 0x90390000u);
    // A short swizzle repeats its last letter.
    EXPECT_EQ(sourceOf("v0.x"), 0x90000000u);
    EXPECT_EQ(sourceOf("v0.w"), 0x90FF0000u);
    EXPECT_EQ(sourceOf("v0.xy"), 0x90540000u);
    EXPECT_EQ(sourceOf("v0.zyx"), 0x90060000u);
    EXPECT_EQ(sourceOf("v0.bgr"), 0x90060000u);
    EXPECT_EQ(sourceOf("-v0"), 0x91E40000u);
    EXPECT_EQ(sourceOf("-v0.y"), 0x91550000u);
}

TEST(AssemblerEncodesMasks, EachSubsetInOrder) {
    auto maskOf = [](const std::string& dst) { return (bodyTokens("mov " + dst + ", v0")[1] >> 16) & 0xF; };
    EXPECT_EQ(maskOf("r0"), 0xFu);
    EXPECT_EQ(maskOf("r0.x"), 0x1u);
    EXPECT_EQ(maskOf("r0.yw"), 0xAu);
    EXPECT_EQ(maskOf("r0.xyz"), 0x7u);
    EXPECT_EQ(maskOf("r0.a"), 0x8u);
    EXPECT_EQ(maskOf("r0.rgb"), 0x7u);
}

TEST(AssemblerOutput, VersionsCommentsAndEndToken) {
    const vs::Assembly a = vs::assemble("; header\n  vs.1.0 // old\n\n mov oPos, v0 ; done\n", "t.vsh");
    EXPECT_EQ(a.function, (Tokens{0xFFFE0100, 1, 0xC00F0000, 0x90E40000, 0x0000FFFF}));
    EXPECT_TRUE(a.constants.empty());
    EXPECT_EQ(vs::assemble("vs_1_1\nmov oPos, v0", "t").function.front(), 0xFFFE0101u);
}

// def values go to the constant declaration fragment, never into the function tokens.
TEST(AssemblerOutput, DefBecomesConstantDeclarationTokens) {
    const vs::Assembly a = vs::assemble("vs.1.1\ndef c4, 1.0, 0.5, -2, 0\ndef c95, .25, 1e1, -0, 3\nmov oPos, c4\n", "t");
    EXPECT_EQ(a.function, (Tokens{0xFFFE0101, 1, 0xC00F0000, 0xA0E40004, 0x0000FFFF}));
    EXPECT_EQ(a.constants, (Tokens{0x82000004, 0x3F800000, 0x3F000000, 0xC0000000, 0x00000000,
                                   0x8200005F, 0x3E800000, 0x41200000, 0x80000000, 0x40400000}));
}

struct Rejected {
    const char* source;
    int line;
    int column;
    const char* reason;  // a part of the message
};

void expectRejected(const Rejected& r) {
    try {
        vs::assemble(r.source, "bad.vsh");
        ADD_FAILURE() << "accepted: " << r.source;
    } catch (const vs::AssemblyError& e) {
        EXPECT_EQ(e.file(), "bad.vsh") << r.source;
        EXPECT_EQ(e.line(), r.line) << r.source << " -> " << e.what();
        EXPECT_EQ(e.column(), r.column) << r.source << " -> " << e.what();
        EXPECT_NE(e.reason().find(r.reason), std::string::npos) << r.source << " -> " << e.what();
        EXPECT_EQ(std::string(e.what()).rfind("bad.vsh:" + std::to_string(r.line) + ":" + std::to_string(r.column) + ": ", 0), 0u);
    }
}

TEST(AssemblerRejectsSyntax, UnknownWordsAndMalformedOperands) {
    const std::vector<Rejected> cases = {
        {"vs.1.1\n  mvo r0, v0\nmov oPos, v0", 2, 3, "unknown instruction 'mvo'"},
        {"vs.1.1\nmov q0, v0\nmov oPos, v0", 2, 5, "unknown register"},
        {"vs.1.1\nmov r0.yx, v0\nmov oPos, v0", 2, 8, "swizzle on a destination"},
        {"vs.1.1\nmov r0.xx, v0\nmov oPos, v0", 2, 8, "swizzle on a destination"},
        {"vs.1.1\nmov -r0, v0\nmov oPos, v0", 2, 5, "cannot be negated"},
        {"vs.1.1\nmov r0, v0.xq\nmov oPos, v0", 2, 12, "not a component"},
        {"vs.1.1\nmov r0, v0.xyzwx\nmov oPos, v0", 2, 12, "1 to 4 components"},
        {"vs.1.1\nmov r0, v0 v1\nmov oPos, v0", 2, 12, "unexpected text"},
        {"vs.1.1\nmov r0, v0, v1\nmov oPos, v0", 2, 11, "too many operands"},
        {"vs.1.1\nmad r0, v0, c0\nmov oPos, v0", 2, 15, "takes 4 operands"},
        {"vs.1.1\nmov\nmov oPos, v0", 2, 4, "takes 2 operands"},
        {"vs.1.1\nmov r0, c[a0.y]\nmov oPos, v0", 2, 11, "only a0.x"},
        {"vs.1.1\nmov r0, c[a0.x - 1]\nmov oPos, v0", 2, 16, "negative"},
        {"vs.1.1\nmov r99999, v0\nmov oPos, v0", 2, 5, "too large"},
        {"vs.1.1\ndef c1, 1, 2, x, 4\nmov oPos, v0", 2, 15, "expected a number"},
        {"vs.1.1\ndef c1, 1, 2, 1e99, 4\nmov oPos, v0", 2, 15, "out of range"},
        {"vs.1.1\ndef r1, 1, 2, 3, 4\nmov oPos, v0", 2, 5, "constant register"},
        {"vs.1.1\nmov oPos, v0\ndef c1, 1, 2, 3, 4", 3, 1, "before all instructions"},
    };
    for (const Rejected& r : cases) expectRejected(r);
}

TEST(AssemblerRejectsSyntax, VersionLineMissingRepeatedOrUnknown) {
    expectRejected({"mov oPos, v0", 1, 1, "missing version line"});
    expectRejected({"; only a comment\n", 1, 1, "missing version line"});
    expectRejected({"vs.1.1\nvs.1.1\nmov oPos, v0", 2, 1, "second version"});
    expectRejected({"vs.2.0\nmov oPos, v0", 1, 7, "unsupported version"});
}

TEST(AssemblerRejectsPrograms, RegistersOutOfRange) {
    const std::vector<Rejected> cases = {
        {"vs.1.1\nmov r12, v0\nmov oPos, v0", 2, 5, "r12 out of range"},
        {"vs.1.1\nmov r0, v16\nmov oPos, v0", 2, 9, "v16 out of range"},
        {"vs.1.1\nmov r0, c96\nmov oPos, v0", 2, 9, "c96 out of range"},
        {"vs.1.1\nmov oT8, v0\nmov oPos, v0", 2, 5, "oT8 out of range"},
        {"vs.1.1\nmov oD2, v0\nmov oPos, v0", 2, 5, "oD2 out of range"},
        {"vs.1.1\nm4x4 r0, v0, c93\nmov oPos, v0", 2, 14, "c96 out of range"},
        {"vs.1.1\nmov v0, c0\nmov oPos, v0", 2, 5, "cannot be written"},
        {"vs.1.1\nmov r0, oPos\nmov oPos, v0", 2, 9, "cannot be read"},
        {"vs.1.1\nmov a0.x, v0\nmov r0, a0\nmov oPos, v0", 3, 9, "only be used as an index"},
    };
    for (const Rejected& r : cases) expectRejected(r);
}

TEST(AssemblerRejectsPrograms, ReadPortLimits) {
    expectRejected({"vs.1.1\nadd r0, c1, c2\nmov oPos, v0", 2, 13, "more than one constant"});
    expectRejected({"vs.1.1\nmad r0, v1, c1, v2\nmov oPos, v0", 2, 17, "more than one input"});
    expectRejected({"vs.1.1\nmov a0.x, v0.x\nadd r0, c1, c[a0.x + 1]\nmov oPos, v0", 3, 13, "more than one constant"});
    // The same register twice is one read.
    EXPECT_NO_THROW(vs::assemble("vs.1.1\nmad r0, c1, c1.x, -c1\nmul r1, v1, v1.w\nmov oPos, v0", "t"));
}

TEST(AssemblerRejectsPrograms, UseBeforeWriteAndAddressing) {
    expectRejected({"vs.1.1\nmov oPos, r0", 2, 11, "r0 is read before it is written"});
    expectRejected({"vs.1.1\nmov r0.xy, v0\nmov oPos, r0.xyzz", 3, 11, "read before it is written"});
    EXPECT_NO_THROW(vs::assemble("vs.1.1\nmov r0.xy, v0\nmov oPos, r0.xyyy", "t"));
    EXPECT_NO_THROW(vs::assemble("vs.1.1\nmov r0.w, v0\nrcp r1, r0\nmov oPos, r1", "t"));  // reads only w
    expectRejected({"vs.1.1\nmov r0, c[a0.x + 1]\nmov oPos, v0", 2, 9, "a0.x is read before"});
    expectRejected({"vs.1.0\nmov a0.x, v0\nmov oPos, v0", 2, 5, "needs vs.1.1"});
    expectRejected({"vs.1.1\nadd a0.x, v0, c0\nmov oPos, v0", 2, 5, "only be written by mov"});
    expectRejected({"vs.1.1\nmov a0, v0\nmov oPos, v0", 2, 5, "only the x component"});
}

TEST(AssemblerRejectsPrograms, MacroOperandRules) {
    expectRejected({"vs.1.1\nmov r0, v0\nm4x4 r0, r0, c0\nmov oPos, v0", 3, 10, "differ from its first source"});
    expectRejected({"vs.1.1\nmov r1, v0\nmov r2, v0\nmov r3, v0\nm3x3 r2.xyz, v0, r1\nmov oPos, v0", 5, 18,
                    "differ from its matrix rows"});
    expectRejected({"vs.1.1\nm4x4 r0, v0, c0.x\nmov oPos, v0", 2, 14, "no swizzle"});
    expectRejected({"vs.1.1\nfrc r0, v0\nmov oPos, v0", 2, 5, "frc writes only"});
}

TEST(AssemblerRejectsPrograms, SlotLimitCountsMacroExpansions) {
    std::string ok = "vs.1.1\n";
    for (int i = 0; i < 32; ++i) ok += "m4x4 oPos, v0, c0\n";  // 128 slots
    EXPECT_NO_THROW(vs::assemble(ok, "t"));
    expectRejected({(ok + "nop\n").c_str(), 34, 1, "more than 128 instruction slots"});
    std::string exps = "vs.1.1\nmov oPos, v0\n";
    for (int i = 0; i < 11; ++i) exps += "exp r0, v0\n";  // 12 slots each: 132
    expectRejected({exps.c_str(), 13, 1, "128"});
}

TEST(AssemblerRejectsPrograms, PositionNeverWritten) {
    expectRejected({"vs.1.1\nmov oD0, v0\n", 3, 1, "oPos is never written"});
}

}  // namespace
