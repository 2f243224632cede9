#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "runtime/Error.h"
#include "runtime/Status.h"
#include "vs/Assembler.h"
#include "vs/Declaration.h"
#include "vs/Program.h"

namespace {

using Tokens = std::vector<uint32_t>;

// The error's text, or "" when the call did not raise D3DERR_INVALIDCALL.
template <typename F>
std::string invalidCallText(F&& f) {
    try {
        f();
    } catch (const rt::Error& e) {
        return e.number() == D3DERR_INVALIDCALL ? e.text() : "";
    }
    return "";
}

std::string decodeFault(const Tokens& t) {
    return invalidCallText([&] { vs::decodeProgram(t); });
}

const Tokens kMovPos{0xFFFE0101, 1, 0xC00F0000, 0x90E40000};

Tokens withTail(Tokens body) {
    Tokens t = kMovPos;
    t.insert(t.end(), body.begin(), body.end());
    t.push_back(0x0000FFFF);
    return t;
}

TEST(DecoderAcceptsPrograms, ShippedProgramsRoundTrip) {
    for (const char* name : {"celshading.txt", "shver2.txt"}) {
        std::ifstream in(std::string(CELSHADE_SOURCE_DIR) + "/data/" + name);
        std::ostringstream text;
        text << in.rdbuf();
        const vs::Assembly a = vs::assemble(text.str(), name);
        EXPECT_EQ(vs::encodeProgram(vs::decodeProgram(a.function)), a.function) << name;
    }
}

// Comment tokens are skipped; opcode 3 (sub) is accepted from other assemblers.
TEST(DecoderAcceptsPrograms, CommentsAndSubtraction) {
    const vs::Program p = vs::decodeProgram(withTail({0x0002FFFE, 0x12345678, 0xDEADBEEF, 3, 0x800F0000, 0x90E40000, 0x90E40000}));
    ASSERT_EQ(p.instructions.size(), 2u);
    EXPECT_EQ(p.instructions[1].op.opcode, vs::Opcode::Sub);
}

TEST(DecoderRejectsTokens, MalformedStreams) {
    EXPECT_NE(decodeFault({}).find("no function tokens"), std::string::npos);
    EXPECT_NE(decodeFault({0xFFFF0101, 0x0000FFFF}).find("unsupported version"), std::string::npos);  // a pixel shader
    EXPECT_NE(decodeFault({0xFFFE0200, 0x0000FFFF}).find("unsupported version"), std::string::npos);
    EXPECT_NE(decodeFault(kMovPos).find("without the end token"), std::string::npos);
    EXPECT_NE(decodeFault({0xFFFE0101, 1, 0xC00F0000}).find("without the end token"), std::string::npos);
    EXPECT_NE(decodeFault(withTail({0x0000001A, 0x800F0000, 0x90E40000})).find("unknown instruction token 0x0000001A"), std::string::npos);
    EXPECT_NE(decodeFault(withTail({0x00010001, 0x800F0000, 0x90E40000})).find("unknown instruction"), std::string::npos);
    EXPECT_NE(decodeFault(withTail({1, 0x000F0000, 0x90E40000})).find("not a parameter token"), std::string::npos);
    EXPECT_NE(decodeFault(withTail({1, 0x801F0000, 0x90E40000})).find("unsupported bits"), std::string::npos);   // saturate
    EXPECT_NE(decodeFault(withTail({1, 0x800F0000, 0x92E40000})).find("unsupported bits"), std::string::npos);   // bias
    EXPECT_NE(decodeFault({0xFFFE0101, 0x0005FFFE, 0x0000FFFF}).find("without the end token"), std::string::npos);
}

// Token streams get the same checks as assembled text.
TEST(DecoderRejectsTokens, InvalidProgramsNameTheInstruction) {
    EXPECT_NE(decodeFault(withTail({1, 0x800F000C, 0x90E40000})).find("instruction 1: register r12 out of range"), std::string::npos);
    EXPECT_NE(decodeFault(withTail({1, 0x800F0000, 0x90E40010})).find("v16 out of range"), std::string::npos);
    EXPECT_NE(decodeFault(withTail({1, 0x800F0000, 0xA0E42000})).find("a0.x is read before"), std::string::npos);
    EXPECT_NE(decodeFault(withTail({1, 0x800F0000, 0x90E42000})).find("only constants"), std::string::npos);
    EXPECT_NE(decodeFault({0xFFFE0100, 1, 0xB0010000, 0x90E40000, 1, 0xC00F0000, 0x90E40000, 0x0000FFFF}).find("needs vs.1.1"),
              std::string::npos);
    EXPECT_NE(decodeFault({0xFFFE0101, 1, 0xD00F0000, 0x90E40000, 0x0000FFFF}).find("oPos is never written"), std::string::npos);
    EXPECT_NE(decodeFault(withTail({2, 0x800F0000, 0xA0E40000, 0xA0E40001})).find("more than one constant"), std::string::npos);
}

TEST(DeclarationParsing, BindingsOffsetsSkipsAndConstants) {
    const Tokens decl{0x20000000, 0x40020000, 0x40040005, 0x50020000, 0x40010007, 0x84000005,
                      0x3F800000, 0, 0, 0, 0x40000000, 0, 0, 0, 0x00000000, 0xFFFFFFFF};
    const vs::Declaration d = vs::parseDeclaration(decl);
    ASSERT_EQ(d.bindings.size(), 3u);
    EXPECT_EQ(d.bindings[0].reg, 0);
    EXPECT_EQ(d.bindings[0].offset, 0u);
    EXPECT_EQ(d.bindings[1].type, vs::InputType::D3DColor);
    EXPECT_EQ(d.bindings[1].offset, 12u);
    EXPECT_EQ(d.bindings[2].reg, 7);
    EXPECT_EQ(d.bindings[2].offset, 24u);  // after an 8-byte skip
    EXPECT_EQ(d.vertexSize, 32u);
    ASSERT_EQ(d.constants.size(), 2u);
    EXPECT_EQ(d.constants[0].reg, 5u);
    EXPECT_EQ(d.constants[0].value[0], 1.0f);
    EXPECT_EQ(d.constants[1].reg, 6u);
    EXPECT_EQ(d.constants[1].value[0], 2.0f);
    EXPECT_EQ(d.tokenCount, decl.size());
}

TEST(DeclarationParsing, RejectsWhatTheDeviceCannotRead) {
    auto fault = [](const Tokens& t) { return invalidCallText([&] { vs::parseDeclaration(t); }); };
    EXPECT_NE(fault({0x20000000, 0x40020000}).find("no end token"), std::string::npos);
    EXPECT_NE(fault({0x40020000, 0xFFFFFFFF}).find("before a stream selector"), std::string::npos);
    EXPECT_NE(fault({0x20000001, 0xFFFFFFFF}).find("only stream 0"), std::string::npos);
    EXPECT_NE(fault({0x20000000, 0x40020010, 0xFFFFFFFF}).find("v16 out of range"), std::string::npos);
    EXPECT_NE(fault({0x20000000, 0x40050000, 0xFFFFFFFF}).find("data type 5"), std::string::npos);
    EXPECT_NE(fault({0x60000000, 0xFFFFFFFF}).find("token type 3"), std::string::npos);
    EXPECT_NE(fault({0xC0000000, 0xFFFFFFFF}).find("token type 6"), std::string::npos);
    EXPECT_NE(fault({0x8400005F, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFFFF}).find("beyond c95"), std::string::npos);
    EXPECT_NE(fault({0x82000000, 0, 0}).find("runs past"), std::string::npos);
}

}  // namespace
