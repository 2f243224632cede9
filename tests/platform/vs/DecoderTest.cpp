#include <gtest/gtest.h>

#include <vector>

#include "runtime/Error.h"
#include "runtime/Status.h"
#include "vs/Assembler.h"
#include "vs/Declaration.h"
#include "vs/Program.h"

namespace {

using Tokens = std::vector<uint32_t>;

const Tokens kMovPos{0xFFFE0101, 1, 0xC00F0000, 0x90E40000};

Tokens withTail(Tokens body) {
    Tokens t = kMovPos;
    t.insert(t.end(), body.begin(), body.end());
    t.push_back(0x0000FFFF);
    return t;
}

// Comment tokens are skipped; opcode 3 (sub) is accepted from other assemblers.
TEST(DecoderAccepts, CommentsAndSubtraction) {
    const vs::Program p = vs::decodeProgram(withTail({0x0002FFFE, 0x12345678, 0xDEADBEEF, 3, 0x800F0000, 0x90E40000, 0x90E40000}));
    ASSERT_EQ(p.instructions.size(), 2u);
    EXPECT_EQ(p.instructions[1].op.opcode, vs::Opcode::Sub);
}

TEST(DeclarationParsing, BindingsOffsetsSkipsAndConstants) {
    const Tokens decl{0x20000000, 0x40020000, 0x40040005, 0x50020000, 0x40010007, 0x84000005,
                      0x3F800000, 0, 0, 0, 0x40000000, 0, 0, 0, 0x00000000, 0xFFFFFFFF};
    const vs::Declaration d = vs::parseDeclaration(decl);
    ASSERT_EQ(d.bindings.size(), 3u);
    EXPECT_EQ(std::tuple(d.bindings[1].type, d.bindings[1].offset), std::tuple(vs::InputType::D3DColor, 12u));
    EXPECT_EQ(std::tuple(d.bindings[2].reg, d.bindings[2].offset), std::tuple(7, 24u));  // after an 8-byte skip
    EXPECT_EQ(d.vertexSize, 32u);
    ASSERT_EQ(d.constants.size(), 2u);
    EXPECT_EQ(std::tuple(d.constants[0].reg, d.constants[0].value[0]), std::tuple(5u, 1.0f));
    EXPECT_EQ(std::tuple(d.constants[1].reg, d.constants[1].value[0]), std::tuple(6u, 2.0f));
    EXPECT_EQ(d.tokenCount, decl.size());
}

// Token streams from outside get the checks assembled text gets, and are never read past
// their end. Each fault gives D3DERR_INVALIDCALL with a message containing the given text.
TEST(TokenStreamsRejected, FunctionAndDeclarationFaults) {
    auto message = [](auto parse, const Tokens& tokens) -> std::string {
        try {
            parse(tokens);
        } catch (const rt::Error& e) {
            return e.number() == D3DERR_INVALIDCALL ? e.text() : "(another error)";
        }
        return "(accepted)";
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
