#pragma once
// Records and constants of Direct3D 8 that this program's calls use, with the values the
// platform defines for them. Render and texture-stage states are in runtime/D3DStates.h.

#include <cstdint>

#include "math/d3dmath.h"
#include "runtime/D3DStates.h"

using D3DFORMAT = uint32_t;
inline constexpr D3DFORMAT D3DFMT_UNKNOWN = 0;
inline constexpr D3DFORMAT D3DFMT_R8G8B8 = 20;
inline constexpr D3DFORMAT D3DFMT_A8R8G8B8 = 21;
inline constexpr D3DFORMAT D3DFMT_X8R8G8B8 = 22;
inline constexpr D3DFORMAT D3DFMT_D16 = 80;
inline constexpr D3DFORMAT D3DFMT_INDEX16 = 101;
inline constexpr D3DFORMAT D3DFMT_INDEX32 = 102;

using D3DPOOL = uint32_t;
inline constexpr D3DPOOL D3DPOOL_DEFAULT = 0;
inline constexpr D3DPOOL D3DPOOL_MANAGED = 1;
inline constexpr D3DPOOL D3DPOOL_SYSTEMMEM = 2;

inline constexpr uint32_t D3DUSAGE_WRITEONLY = 0x08;
inline constexpr uint32_t D3DUSAGE_SOFTWAREPROCESSING = 0x10;
inline constexpr uint32_t D3DUSAGE_DYNAMIC = 0x200;

// Flexible vertex format bits.
inline constexpr uint32_t D3DFVF_XYZ = 0x002;
inline constexpr uint32_t D3DFVF_XYZRHW = 0x004;
inline constexpr uint32_t D3DFVF_POSITION_MASK = 0x00E;
inline constexpr uint32_t D3DFVF_NORMAL = 0x010;
inline constexpr uint32_t D3DFVF_PSIZE = 0x020;
inline constexpr uint32_t D3DFVF_DIFFUSE = 0x040;
inline constexpr uint32_t D3DFVF_SPECULAR = 0x080;
inline constexpr uint32_t D3DFVF_TEXCOUNT_MASK = 0xF00;
inline constexpr uint32_t D3DFVF_TEXCOUNT_SHIFT = 8;
inline constexpr uint32_t D3DFVF_TEX1 = 0x100;
inline constexpr uint32_t D3DFVF_TEX2 = 0x200;

using D3DPRIMITIVETYPE = uint32_t;
inline constexpr D3DPRIMITIVETYPE D3DPT_POINTLIST = 1;
inline constexpr D3DPRIMITIVETYPE D3DPT_LINELIST = 2;
inline constexpr D3DPRIMITIVETYPE D3DPT_LINESTRIP = 3;
inline constexpr D3DPRIMITIVETYPE D3DPT_TRIANGLELIST = 4;
inline constexpr D3DPRIMITIVETYPE D3DPT_TRIANGLESTRIP = 5;
inline constexpr D3DPRIMITIVETYPE D3DPT_TRIANGLEFAN = 6;

using D3DTRANSFORMSTATETYPE = uint32_t;
inline constexpr D3DTRANSFORMSTATETYPE D3DTS_VIEW = 2;
inline constexpr D3DTRANSFORMSTATETYPE D3DTS_PROJECTION = 3;
inline constexpr D3DTRANSFORMSTATETYPE D3DTS_TEXTURE0 = 16;
inline constexpr D3DTRANSFORMSTATETYPE D3DTS_TEXTURE7 = 23;
inline constexpr D3DTRANSFORMSTATETYPE D3DTS_WORLD = 256;  // WORLDMATRIX(0) of 256 world matrices
inline constexpr D3DTRANSFORMSTATETYPE D3DTS_WORLDMATRIX255 = 511;

inline constexpr uint32_t D3DCLEAR_TARGET = 1;
inline constexpr uint32_t D3DCLEAR_ZBUFFER = 2;
inline constexpr uint32_t D3DCLEAR_STENCIL = 4;

inline constexpr uint32_t D3DADAPTER_DEFAULT = 0;
inline constexpr uint32_t D3DDEVTYPE_HAL = 1;
inline constexpr uint32_t D3DDEVTYPE_SW = 3;
inline constexpr uint32_t D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;
inline constexpr uint32_t D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;
inline constexpr uint32_t D3DCREATE_MIXED_VERTEXPROCESSING = 0x80;
inline constexpr uint32_t D3DSWAPEFFECT_DISCARD = 1;
inline constexpr uint32_t D3DSWAPEFFECT_FLIP = 2;
inline constexpr uint32_t D3DSWAPEFFECT_COPY = 3;
inline constexpr uint32_t D3DMULTISAMPLE_NONE = 0;
inline constexpr uint32_t D3DPRESENT_INTERVAL_DEFAULT = 0;
inline constexpr uint32_t D3DPRESENT_INTERVAL_ONE = 1;
inline constexpr uint32_t D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u;

// The window a device presents to. Defined by the window layer (ui/); the device only
// passes it on to the OpenGL layer, which asks it for a drawable surface.
class NativeWindow;
using HWND = NativeWindow*;

struct D3DDISPLAYMODE {
    uint32_t Width;
    uint32_t Height;
    uint32_t RefreshRate;
    D3DFORMAT Format;
};

struct D3DPRESENT_PARAMETERS {
    uint32_t BackBufferWidth;
    uint32_t BackBufferHeight;
    D3DFORMAT BackBufferFormat;
    uint32_t BackBufferCount;
    uint32_t MultiSampleType;
    uint32_t SwapEffect;
    HWND hDeviceWindow;
    int32_t Windowed;
    int32_t EnableAutoDepthStencil;
    D3DFORMAT AutoDepthStencilFormat;
    uint32_t Flags;
    uint32_t FullScreen_RefreshRateInHz;
    uint32_t FullScreen_PresentationInterval;
};

struct D3DMATERIAL8 {
    D3DCOLORVALUE Diffuse;
    D3DCOLORVALUE Ambient;
    D3DCOLORVALUE Specular;
    D3DCOLORVALUE Emissive;
    float Power;
};
static_assert(sizeof(D3DMATERIAL8) == 68);

struct D3DRECT {
    int32_t x1, y1, x2, y2;
};

// The vertex size in bytes of a flexible vertex format.
uint32_t fvfVertexSize(uint32_t fvf);
