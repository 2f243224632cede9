#pragma once
// Encoders of vertex-shader declaration tokens, the values of the public declaration macros:
// vsdTokenType = D3DVSD_MAKETOKENTYPE, vsdStream = D3DVSD_STREAM, vsdReg = D3DVSD_REG,
// vsdEnd = D3DVSD_END. Arguments are not masked: out-of-range values spill into the bits
// above, as with the macros.

#include <cstdint>

namespace D3DShaders {

inline constexpr int32_t D3DVSDT_FLOAT1 = 0;
inline constexpr int32_t D3DVSDT_FLOAT2 = 1;
inline constexpr int32_t D3DVSDT_FLOAT3 = 2;
inline constexpr int32_t D3DVSDT_FLOAT4 = 3;
inline constexpr int32_t D3DVSDT_D3DCOLOR = 4;

// The type shifted into bits 31..29 for the defined types 0..5 and 7; 0 for 6 (undefined)
// and anything outside 0..7.
uint32_t vsdTokenType(int32_t tokenType);
uint32_t vsdStream(int32_t streamNumber);
// The data type goes through a 32-bit signed product (dataType x 65536): a type outside
// -32768..32767 raises Overflow (6).
uint32_t vsdReg(int32_t inputRegister, int32_t dataType);
uint32_t vsdEnd();

}  // namespace D3DShaders
