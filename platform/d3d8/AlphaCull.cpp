#include "d3d8/AlphaCull.h"

#include "d3d8/d3d8types.h"

namespace {

bool levelPasses(uint32_t func, uint32_t level, uint32_t ref) {
    switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return level < ref;
    case D3DCMP_EQUAL: return level == ref;
    case D3DCMP_LESSEQUAL: return level <= ref;
    case D3DCMP_GREATER: return level > ref;
    case D3DCMP_NOTEQUAL: return level != ref;
    case D3DCMP_GREATEREQUAL: return level >= ref;
    default: return true;  // ALWAYS, and values the draw refuses anyway
    }
}

}  // namespace

AlphaPassTable::AlphaPassTable(uint32_t func, uint32_t ref) {
    ref &= 0xFF;
    for (uint32_t level = 0; level < 256; ++level)
        passingBelow_[level + 1] = static_cast<uint16_t>(passingBelow_[level] + (levelPasses(func, level, ref) ? 1 : 0));
}
