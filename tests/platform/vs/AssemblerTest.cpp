// Vertex-shader text to tokens and back: what the assembler writes, what it refuses and where,
// and what the decoder accepts from a token stream of another assembler or refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/Status.h"
#include "support/Raised.h"
#include "vs/Assembler.h"
#include "vs/Declaration.h"
#include "vs/Parser.h"
#include "vs/Program.h"

namespace {

using Tokens = std::vector<uint32_t>;

// Tokens of the instructions in `body`, without the version, the trailing "mov oPos, v0"
// that every test program needs, and the end token.
Tokens bodyTokens(const std::string& body) {
    const vs::Assembly a = vs::assemble("vs.1.1\n" + body + "\nmov oPos, v0\n", "t.vsh");
    EXPECT_GE(a.function.size(), 5u);
    return Tokens(a.function.begin() + 1, a.function.end() - 4);
}

// Hand-encoded tokens. r0 = 0x800F0000 as destination, v0 = 0x90E40000 and c2 = 0xA0E40002
// as sources.
TEST(AssemblerEncodes, EveryInstructionRegisterFileSwizzleAndMask) {
    const std::pair<const char*, uint32_t> unary[] = {{"mov", 0x01}, {"rcp", 0x06}, {"rsq", 0x07}, {"exp", 0x0E},
                                                      {"log", 0x0F}, {"lit", 0x10}, {"expp", 0x4E}, {"logp", 0x4F}};
    const std::pair<const char*, uint32_t> binary[] = {{"add", 0x02}, {"mul", 0x05}, {"dp3", 0x08}, {"dp4", 0x09},
                                                       {"min", 0x0A}, {"max", 0x0B}, {"slt", 0x0C}, {"sge", 0x0D},
                                                       {"dst", 0x11}, {"m4x4", 0x14}, {"m3x4", 0x16}};
    for (const auto& [op, code] : unary)
        EXPECT_EQ(bodyTokens(std::string(op) + " r0, v0"), (Tokens{code, 0x800F0000, 0x90E40000})) << op;
    for (const auto& [op, code] : binary)
        EXPECT_EQ(bodyTokens(std::string(op) + " r0, v0, c2"), (Tokens{code, 0x800F0000, 0x90E40000, 0xA0E40002})) << op;
    const std::pair<const char*, Tokens> cases[] = {
        {"nop", {0x00000000}}, {"frc r0.xy, v0", {0x00000013, 0x80030000, 0x90E40000}},
        {"mad r0, v0, c2, v0", {0x00000004, 0x800F0000, 0x90E40000, 0xA0E40002, 0x90E40000}},
        {"m4x3 r0.xyz, v0, c2", {0x00000015, 0x80070000, 0x90E40000, 0xA0E40002}},
        {"m3x3 r0.xyz, v0, c2", {0x00000017, 0x80070000, 0x90E40000, 0xA0E40002}},
        {"m3x2 r0.xy, v0, c2", {0x00000018, 0x80030000, 0x90E40000, 0xA0E40002}},
        // No subtraction token: a - b goes out as a + (-b); an already negated b comes back positive.
        {"sub r0, v0, c2", {0x00000002, 0x800F0000, 0x90E40000, 0xA1E40002}},
        {"sub r0, v0, -c2", {0x00000002, 0x800F0000, 0x90E40000, 0xA0E40002}},
        // Every register file at its limits; names are case-insensitive.
        {"mov r11, v15", {1, 0x800F000B, 0x90E4000F}}, {"mov r0, c95", {1, 0x800F0000, 0xA0E4005F}},
        {"mov oFog.x, v0", {1, 0xC0010001, 0x90E40000}}, {"mov oPts.x, v0", {1, 0xC0010002, 0x90E40000}},
        {"mov oD1, v0", {1, 0xD00F0001, 0x90E40000}}, {"MOV OT7, V0", {1, 0xE00F0007, 0x90E40000}},
        // a0 and relative constants (bit 13); c[n] without a0 is the plain register.
        {"mov a0.x, v0.y\nmov r0, c[a0.x + 4]\nmov r1, c[a0.x]\nmov r2, -c[7 + a0.x].w",
         {1, 0xB0010000, 0x90550000, 1, 0x800F0000, 0xA0E42004, 1, 0x800F0001, 0xA0E42000, 1, 0x800F0002, 0xA1FF2007}},
        {"mov r0, c[5]", {1, 0x800F0000, 0xA0E40005}},
    };
    for (const auto& [body, tokens] : cases) EXPECT_EQ(bodyTokens(body), tokens) << body;
    // Swizzles, colour letters and negation; a short swizzle repeats its last letter.
    const std::pair<const char*, uint32_t> sources[] = {{"v0.rgba", 0x90E40000}, {"v0.wzyx", 0x901B0000}, {"v0.yzwx", 0x90390000},
                                                        {"v0.x", 0x90000000}, {"v0.xy", 0x90540000}, {"v0.bgr", 0x90060000},
                                                        {"-v0.y", 0x91550000}};
    for (const auto& [source, token] : sources) EXPECT_EQ(bodyTokens(std::string("mov r0, ") + source)[2], token) << source;
    const std::pair<const char*, uint32_t> masks[] = {{"r0.x", 0x80010000}, {"r0.yw", 0x800A0000}, {"r0.a", 0x80080000}, {"r0.rgb", 0x80070000}};
    for (const auto& [dest, token] : masks) EXPECT_EQ(bodyTokens("mov " + std::string(dest) + ", v0")[1], token) << dest;
}

// Versions, comments and the end token; def values go to the constant declaration fragment,
// never into the function tokens.
TEST(AssemblerOutput, VersionsCommentsEndTokenAndDefsAsConstantDeclarationTokens) {
    const vs::Assembly plain = vs::assemble("; header\n  vs.1.0 // old\n\n mov oPos, v0 ; done\n", "t.vsh");
    EXPECT_EQ(plain.function, (Tokens{0xFFFE0100, 1, 0xC00F0000, 0x90E40000, 0x0000FFFF}));
    EXPECT_TRUE(plain.constants.empty());
    EXPECT_EQ(vs::assemble("vs_1_1\nmov oPos, v0", "t").function.front(), 0xFFFE0101u);
    const vs::Assembly a = vs::assemble("vs.1.1\ndef c4, 1.0, 0.5, -2, 0\ndef c95, .25, 1e1, -0, 3\nmov oPos, c4\n", "t");
    EXPECT_EQ(a.function, (Tokens{0xFFFE0101, 1, 0xC00F0000, 0xA0E40004, 0x0000FFFF}));
    EXPECT_EQ(a.constants, (Tokens{0x82000004, 0x3F800000, 0x3F000000, 0xC0000000, 0x00000000,
                                   0x8200005F, 0x3E800000, 0x41200000, 0x80000000, 0x40400000}));
}

struct Rejected { std::string source; int line, column; const char* reason; };  // reason: text the message contains

void expectRejected(const Rejected& r) {
    SCOPED_TRACE(r.source);
    try {
        vs::assemble(r.source, "bad.vsh");
        ADD_FAILURE() << "accepted";
    } catch (const vs::AssemblyError& e) {
        EXPECT_EQ(std::pair(e.line(), e.column()), std::pair(r.line, r.column)) << e.what();
        EXPECT_NE(e.reason().find(r.reason), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).rfind("bad.vsh:" + std::to_string(r.line) + ":" + std::to_string(r.column) + ": ", 0), 0u);
    }
}

TEST(AssemblerRejects, EachFaultAtItsLineAndColumn) {
    // A fault on line 2, between "vs.1.1" and "mov oPos, v0": the line, its column, the reason.
    const std::tuple<const char*, int, const char*> onLine2[] = {
        {"  mvo r0, v0", 3, "unknown instruction 'mvo'"}, {"mov q0, v0", 5, "unknown register"},
        {"mov r0.yx, v0", 8, "swizzle on a destination"}, {"mov -r0, v0", 5, "cannot be negated"},
        {"mov r0, v0.xq", 12, "not a component"},         {"mov r0, v0.xyzwx", 12, "1 to 4 components"},
        {"mov r0, v0 v1", 12, "unexpected text"},         {"mov r0, v0, v1", 11, "too many operands"},
        {"mad r0, v0, c0", 15, "takes 4 operands"},       {"mov", 4, "takes 2 operands"},
        {"mov r0, c[a0.y]", 11, "only a0.x"},             {"mov r0, c[a0.x - 1]", 16, "negative"},
        {"mov r99999, v0", 5, "too large"},               {"def c1, 1, 2, x, 4", 15, "expected a number"},
        {"def c1, 1, 2, 1e99, 4", 15, "out of range"},    {"def r1, 1, 2, 3, 4", 5, "constant register"},
        {"vs.1.1", 1, "second version"},                  {"mov oPos, r0", 11, "r0 is read before it is written"},
        {"mov r0, c[a0.x + 1]", 9, "a0.x is read before"},
        // Register ranges, also for the rows a matrix macro reads.
        {"mov r12, v0", 5, "r12 out of range"},           {"mov r0, v16", 9, "v16 out of range"},
        {"mov r0, c96", 9, "c96 out of range"},           {"mov oT8, v0", 5, "oT8 out of range"},
        {"mov oD2, v0", 5, "oD2 out of range"},           {"m4x4 r0, v0, c93", 14, "c96 out of range"},
        {"mov v0, c0", 5, "cannot be written"},           {"mov r0, oPos", 9, "cannot be read"},
        // One constant and one input per instruction.
        {"add r0, c1, c2", 13, "more than one constant"}, {"mad r0, v1, c1, v2", 17, "more than one input"},
        {"add a0.x, v0, c0", 5, "only be written by mov"}, {"mov a0, v0", 5, "only the x component"},
        {"m4x4 r0, v0, c0.x", 14, "no swizzle"},          {"frc r0, v0", 5, "frc writes only"},
    };
    for (const auto& [body, column, reason] : onLine2)
        expectRejected({"vs.1.1\n" + std::string(body) + "\nmov oPos, v0", 2, column, reason});
    const std::vector<Rejected> cases = {
        {"vs.1.1\nmov oPos, v0\ndef c1, 1, 2, 3, 4", 3, 1, "before all instructions"},
        {"mov oPos, v0", 1, 1, "missing version line"},
        {"vs.2.0\nmov oPos, v0", 1, 7, "unsupported version"},
        {"vs.1.1\nmov a0.x, v0\nmov r0, a0\nmov oPos, v0", 3, 9, "only be used as an index"},
        {"vs.1.1\nmov a0.x, v0.x\nadd r0, c1, c[a0.x + 1]\nmov oPos, v0", 3, 13, "more than one constant"},
        {"vs.1.1\nmov r0.xy, v0\nmov oPos, r0.xyzz", 3, 11, "read before it is written"},
        {"vs.1.0\nmov a0.x, v0\nmov oPos, v0", 2, 5, "needs vs.1.1"},
        {"vs.1.1\nmov r0, v0\nm4x4 r0, r0, c0\nmov oPos, v0", 3, 10, "differ from its first source"},
        {"vs.1.1\nmov r1, v0\nmov r2, v0\nmov r3, v0\nm3x3 r2.xyz, v0, r1\nmov oPos, v0", 5, 18, "differ from its matrix rows"},
        {"vs.1.1\nmov oD0, v0\n", 3, 1, "oPos is never written"},
    };
    for (const Rejected& r : cases) expectRejected(r);
}

// The same register twice is one read; reading only written components is fine.
TEST(AssemblerRejects, NothingThatIsValid) {
    for (const char* source : {"vs.1.1\nmad r0, c1, c1.x, -c1\nmul r1, v1, v1.w\nmov oPos, v0",
                               "vs.1.1\nmov r0.xy, v0\nmov oPos, r0.xyyy", "vs.1.1\nmov r0.w, v0\nrcp r1, r0\nmov oPos, r1"})
        EXPECT_NO_THROW(vs::assemble(source, "t")) << source;
}

// Macros count as the instructions they expand to. Reading stops at the first instruction
// past the limit, so a huge source costs no more than one at the limit, whatever follows.
TEST(AssemblerRejects, MoreThan128InstructionSlots) {
    std::string ok = "vs.1.1\n";
    for (int i = 0; i < 32; ++i) ok += "m4x4 oPos, v0, c0\n";  // 128 slots
    EXPECT_NO_THROW(vs::assemble(ok, "t"));
    expectRejected({ok + "nop\n", 34, 1, "more than 128 instruction slots"});
    std::string exps = "vs.1.1\nmov oPos, v0\n";
    for (int i = 0; i < 11; ++i) exps += "exp r0, v0\n";  // 12 slots each: 132
    expectRejected({exps + "not an instruction\n", 13, 1, "128"});
    std::string huge = "vs.1.1\n";
    for (int i = 0; i < 200000; ++i) huge += "mov oPos, v0\n";
    expectRejected({huge, 130, 1, "more than 128 instruction slots"});
    const vs::ParsedProgram read = vs::parseProgram(huge);
    EXPECT_EQ(read.program.instructions.size(), 129u);
    EXPECT_EQ(read.end.line, 130);
}

// One def line per constant register at most: the fault is reported at the first line past
// that, where reading stops, however many follow.
TEST(AssemblerRejects, MoreDefLinesThanConstantRegisters) {
    std::string defs = "vs.1.1\n";
    for (int i = 0; i < 96; ++i) defs += "def c" + std::to_string(i) + ", 1, 2, 3, 4\n";
    const vs::Assembly full = vs::assemble(defs + "mov oPos, v0\n", "t");
    EXPECT_EQ(full.constants.size(), 96u * 5);
    expectRejected({defs + "def c0, 0, 0, 0, 0\nmov oPos, v0\n", 98, 1, "more than 96 def lines"});
    std::string huge = "vs.1.1\n";
    for (int i = 0; i < 200000; ++i) huge += "def c1, 1, 2, 3, 4\n";
    expectRejected({huge + "mov oPos, v0\n", 98, 1, "more than 96 def lines"});
}

const Tokens kMovPos{0xFFFE0101, 1, 0xC00F0000, 0x90E40000};

Tokens withTail(Tokens body) {
    Tokens t = kMovPos;
    t.insert(t.end(), body.begin(), body.end());
    t.push_back(0x0000FFFF);
    return t;
}

// From another assembler: comment tokens are skipped and opcode 3 (sub) is accepted; a
// declaration's bindings take their offsets (after an 8-byte skip too) and its constants.
TEST(TokenStreamsAccepted, CommentsSubtractionAndDeclarationSkipsAndConstants) {
    const vs::Program p = vs::decodeProgram(withTail({0x0002FFFE, 0x12345678, 0xDEADBEEF, 3, 0x800F0000, 0x90E40000, 0x90E40000}));
    ASSERT_EQ(p.instructions.size(), 2u);
    EXPECT_EQ(p.instructions[1].op.opcode, vs::Opcode::Sub);
    const Tokens decl{0x20000000, 0x40020000, 0x40040005, 0x50020000, 0x40010007, 0x84000005,
                      0x3F800000, 0, 0, 0, 0x40000000, 0, 0, 0, 0x00000000, 0xFFFFFFFF};
    const vs::Declaration d = vs::parseDeclaration(decl);
    ASSERT_EQ(d.bindings.size(), 3u);
    EXPECT_EQ(std::tuple(d.bindings[1].type, d.bindings[1].offset), std::tuple(vs::InputType::D3DColor, 12u));
    EXPECT_EQ(std::tuple(d.bindings[2].reg, d.bindings[2].offset), std::tuple(7, 24u));
    EXPECT_EQ(std::tuple(d.vertexSize, d.tokenCount), std::tuple(32u, decl.size()));
    ASSERT_EQ(d.constants.size(), 2u);
    EXPECT_EQ(std::tuple(d.constants[0].reg, d.constants[0].value[0]), std::tuple(5u, 1.0f));
    EXPECT_EQ(std::tuple(d.constants[1].reg, d.constants[1].value[0]), std::tuple(6u, 2.0f));
}

// Token streams from outside get the checks assembled text gets, and are never read past
// their end. Each fault gives D3DERR_INVALIDCALL with a message containing the given text.
TEST(TokenStreamsRejected, FunctionAndDeclarationFaults) {
    auto message = [](auto parse, const Tokens& tokens) {
        const auto [number, text] = testsupport::raised([&] { parse(tokens); });
        return number == 0 ? "(accepted)" : number == D3DERR_INVALIDCALL ? text : "(another error)";
    };
    const std::pair<Tokens, const char*> functions[] = {
        {{}, "no function tokens"}, {kMovPos, "without the end token"},
        {{0xFFFF0101, 0x0000FFFF}, "unsupported version"} /* a pixel shader */, {{0xFFFE0200, 0x0000FFFF}, "unsupported version"},
        {{0xFFFE0101, 1, 0xC00F0000}, "without the end token"},
        {{0xFFFE0101, 0x0005FFFE, 0x0000FFFF}, "without the end token"},  // a comment running past
        {withTail({0x0000001A, 0x800F0000, 0x90E40000}), "unknown instruction token 0x0000001A"},
        {withTail({0x00010001, 0x800F0000, 0x90E40000}), "unknown instruction"},
        {withTail({1, 0x000F0000, 0x90E40000}), "not a parameter token"},
        {withTail({1, 0x801F0000, 0x90E40000}), "unsupported bits"},  // saturate
        {withTail({1, 0x800F0000, 0x92E40000}), "unsupported bits"},  // bias
        {withTail({1, 0x800F000C, 0x90E40000}), "instruction 1: register r12 out of range"},
        {withTail({1, 0x800F0000, 0x90E42000}), "only constants"},
        // Decoding stops at the first instruction past 128 slots, long before the missing end.
        {[] { Tokens nops(100000, 0); nops.front() = 0xFFFE0101; return nops; }(),
         "instruction 128: more than 128 instruction slots"},
    };
    for (const auto& [tokens, text] : functions)
        EXPECT_NE(message(vs::decodeProgram, tokens).find(text), std::string::npos) << text << ": " << message(vs::decodeProgram, tokens);
    const std::pair<Tokens, const char*> declarations[] = {
        {{0x20000000, 0x40020000}, "no end token"},           {{0x40020000, 0xFFFFFFFF}, "before a stream selector"},
        {{0x20000001, 0xFFFFFFFF}, "only stream 0"},          {{0x20000000, 0x40020010, 0xFFFFFFFF}, "v16 out of range"},
        {{0x20000000, 0x40050000, 0xFFFFFFFF}, "data type 5"}, {{0x60000000, 0xFFFFFFFF}, "token type 3"},
        {{0xC0000000, 0xFFFFFFFF}, "token type 6"},           {{0x82000000, 0, 0}, "runs past"},
        {{0x8400005F, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFFFF}, "beyond c95"},
    };
    for (const auto& [tokens, text] : declarations)
        EXPECT_NE(message(vs::parseDeclaration, tokens).find(text), std::string::npos) << text << ": " << message(vs::parseDeclaration, tokens);
}

}  // namespace
