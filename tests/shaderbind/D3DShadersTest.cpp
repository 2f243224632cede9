#include <gtest/gtest.h>

#include "runtime/Error.h"
#include "shaderbind/D3DShaders.h"

namespace {

using namespace D3DShaders;

// The values of the public declaration macros. Arguments are not masked: large values spill
// into the bits above, as the macros do.
TEST(DeclarationTokens, MatchThePublicMacros) {
    const std::pair<uint32_t, uint32_t> cases[] = {
        // Defined token types shift into bits 31..29; 6 and anything outside 0..7 give 0.
        {vsdTokenType(0), 0x00000000}, {vsdTokenType(1), 0x20000000}, {vsdTokenType(4), 0x80000000},
        {vsdTokenType(5), 0xA0000000}, {vsdTokenType(6), 0x00000000}, {vsdTokenType(7), 0xE0000000},
        {vsdTokenType(8), 0x00000000}, {vsdTokenType(-1), 0x00000000}, {vsdEnd(), 0xFFFFFFFF},
        {vsdStream(0), 0x20000000}, {vsdStream(1), 0x20000001}, {vsdStream(1 << 29), 0x20000000},
        {vsdStream(-1), 0xFFFFFFFF}, {vsdReg(3, D3DVSDT_FLOAT3), 0x40020003}, {vsdReg(7, D3DVSDT_FLOAT2), 0x40010007},
        {vsdReg(15, 7), 0x4007000F}, {vsdReg(0x10000, 0), 0x40010000}, {vsdReg(0, -1), 0xFFFF0000},
        {vsdReg(0, 32767), 0x7FFF0000 | 0x40000000}, {vsdReg(0, -32768), 0x80000000 | 0x40000000},
    };
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
}

// The data type goes through a 32-bit signed product with 65536.
TEST(DeclarationTokens, DataTypeBeyondSixteenBitsIsAnOverflow) {
    for (int32_t type : {32768, -32769, 1 << 30}) {
        int32_t status = 0;
        try { vsdReg(0, type); } catch (const rt::Error& e) { status = e.number(); }
        EXPECT_EQ(status, rt::errc::Overflow) << type;
    }
}

}  // namespace
