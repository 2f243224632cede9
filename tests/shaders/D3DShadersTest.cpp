#include <gtest/gtest.h>

#include "runtime/Error.h"
#include "shaders/D3DShaders.h"
#include "shaders/ShaderCreation.h"

namespace {

using namespace D3DShaders;

TEST(DeclarationTokenTypes, DefinedTypesShiftUndefinedOnesGiveZero) {
    EXPECT_EQ(vsdTokenType(0), 0x00000000u);
    EXPECT_EQ(vsdTokenType(1), 0x20000000u);
    EXPECT_EQ(vsdTokenType(2), 0x40000000u);
    EXPECT_EQ(vsdTokenType(3), 0x60000000u);
    EXPECT_EQ(vsdTokenType(4), 0x80000000u);
    EXPECT_EQ(vsdTokenType(5), 0xA0000000u);
    EXPECT_EQ(vsdTokenType(6), 0x00000000u);
    EXPECT_EQ(vsdTokenType(7), 0xE0000000u);
    EXPECT_EQ(vsdTokenType(8), 0x00000000u);
    EXPECT_EQ(vsdTokenType(-1), 0x00000000u);
}

TEST(DeclarationTokens, StreamRegisterAndEndMatchThePublicMacros) {
    EXPECT_EQ(vsdStream(0), 0x20000000u);
    EXPECT_EQ(vsdStream(1), 0x20000001u);
    EXPECT_EQ(vsdReg(0, D3DVSDT_FLOAT3), 0x40020000u);
    EXPECT_EQ(vsdReg(3, D3DVSDT_FLOAT3), 0x40020003u);
    EXPECT_EQ(vsdReg(6, D3DVSDT_FLOAT3), 0x40020006u);
    EXPECT_EQ(vsdReg(7, D3DVSDT_FLOAT2), 0x40010007u);
    EXPECT_EQ(vsdReg(0, 0), 0x40000000u);
    EXPECT_EQ(vsdReg(15, 7), 0x4007000Fu);
    EXPECT_EQ(vsdEnd(), 0xFFFFFFFFu);
}

// Arguments are not masked: large values spill into the bits above, as the macros do.
TEST(DeclarationTokens, UnmaskedArgumentsSpillIntoHigherBits) {
    EXPECT_EQ(vsdStream(1 << 29), 0x20000000u);
    EXPECT_EQ(vsdStream(-1), 0xFFFFFFFFu);
    EXPECT_EQ(vsdReg(0x10000, 0), 0x40010000u);
    EXPECT_EQ(vsdReg(0, -1), 0xFFFF0000u);
    EXPECT_EQ(vsdReg(0, 32767), 0x7FFF0000u | 0x40000000u);
    EXPECT_EQ(vsdReg(0, -32768), 0x80000000u | 0x40000000u);
}

TEST(DeclarationTokens, DataTypeBeyondSixteenBitsIsAnOverflow) {
    for (int32_t type : {32768, -32769, 1 << 30}) {
        try {
            vsdReg(0, type);
            ADD_FAILURE() << type;
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.number(), rt::errc::Overflow) << type;
        }
    }
}

TEST(ShaderDeclarations, CelAndEdgeLayouts) {
    EXPECT_EQ(celShaderDeclaration(), (std::array<uint32_t, 5>{0x20000000, 0x40020000, 0x40020003, 0x40010007, 0xFFFFFFFF}));
    EXPECT_EQ(edgeShaderDeclaration(), (std::array<uint32_t, 5>{0x20000000, 0x40020000, 0x40020003, 0x40020006, 0xFFFFFFFF}));
}

}  // namespace
