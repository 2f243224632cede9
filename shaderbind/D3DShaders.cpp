#include "shaderbind/D3DShaders.h"

#include "runtime/Rounding.h"

namespace D3DShaders {

uint32_t vsdTokenType(int32_t tokenType) {
    switch (tokenType) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 7:
        return (static_cast<uint32_t>(tokenType) << 29) & 0xE0000000u;
    default: return 0;
    }
}

uint32_t vsdStream(int32_t streamNumber) { return vsdTokenType(1) | static_cast<uint32_t>(streamNumber); }

uint32_t vsdReg(int32_t inputRegister, int32_t dataType) {
    const int32_t typeField = rt::roundToInt32(static_cast<double>(dataType) * 65536.0);
    return static_cast<uint32_t>(typeField) | vsdTokenType(2) | static_cast<uint32_t>(inputRegister);
}

uint32_t vsdEnd() { return 0xFFFFFFFFu; }

}  // namespace D3DShaders
