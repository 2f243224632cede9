#pragma once
// Direct3D 8's render states, texture-stage states and the values they take, numbered as the
// platform numbers them. The device records these values and the OpenGL layer draws with
// them unchanged, so they live below both, where each can name them.

#include <cstdint>

using D3DRENDERSTATETYPE = uint32_t;
inline constexpr D3DRENDERSTATETYPE D3DRS_ZENABLE = 7;
inline constexpr D3DRENDERSTATETYPE D3DRS_FILLMODE = 8;
inline constexpr D3DRENDERSTATETYPE D3DRS_SHADEMODE = 9;
inline constexpr D3DRENDERSTATETYPE D3DRS_ZWRITEENABLE = 14;
inline constexpr D3DRENDERSTATETYPE D3DRS_ALPHATESTENABLE = 15;
inline constexpr D3DRENDERSTATETYPE D3DRS_LASTPIXEL = 16;
inline constexpr D3DRENDERSTATETYPE D3DRS_SRCBLEND = 19;
inline constexpr D3DRENDERSTATETYPE D3DRS_DESTBLEND = 20;
inline constexpr D3DRENDERSTATETYPE D3DRS_CULLMODE = 22;
inline constexpr D3DRENDERSTATETYPE D3DRS_ZFUNC = 23;
inline constexpr D3DRENDERSTATETYPE D3DRS_ALPHAREF = 24;
inline constexpr D3DRENDERSTATETYPE D3DRS_ALPHAFUNC = 25;
inline constexpr D3DRENDERSTATETYPE D3DRS_DITHERENABLE = 26;
inline constexpr D3DRENDERSTATETYPE D3DRS_ALPHABLENDENABLE = 27;
inline constexpr D3DRENDERSTATETYPE D3DRS_FOGENABLE = 28;
inline constexpr D3DRENDERSTATETYPE D3DRS_SPECULARENABLE = 29;
inline constexpr D3DRENDERSTATETYPE D3DRS_FOGEND = 37;
inline constexpr D3DRENDERSTATETYPE D3DRS_FOGDENSITY = 38;
inline constexpr D3DRENDERSTATETYPE D3DRS_STENCILENABLE = 52;
inline constexpr D3DRENDERSTATETYPE D3DRS_STENCILFAIL = 53;
inline constexpr D3DRENDERSTATETYPE D3DRS_STENCILZFAIL = 54;
inline constexpr D3DRENDERSTATETYPE D3DRS_STENCILPASS = 55;
inline constexpr D3DRENDERSTATETYPE D3DRS_STENCILFUNC = 56;
inline constexpr D3DRENDERSTATETYPE D3DRS_STENCILMASK = 58;
inline constexpr D3DRENDERSTATETYPE D3DRS_STENCILWRITEMASK = 59;
inline constexpr D3DRENDERSTATETYPE D3DRS_TEXTUREFACTOR = 60;
inline constexpr D3DRENDERSTATETYPE D3DRS_CLIPPING = 136;
inline constexpr D3DRENDERSTATETYPE D3DRS_LIGHTING = 137;
inline constexpr D3DRENDERSTATETYPE D3DRS_AMBIENT = 139;
inline constexpr D3DRENDERSTATETYPE D3DRS_COLORVERTEX = 141;
inline constexpr D3DRENDERSTATETYPE D3DRS_LOCALVIEWER = 142;
inline constexpr D3DRENDERSTATETYPE D3DRS_NORMALIZENORMALS = 143;
inline constexpr D3DRENDERSTATETYPE D3DRS_DIFFUSEMATERIALSOURCE = 145;
inline constexpr D3DRENDERSTATETYPE D3DRS_SPECULARMATERIALSOURCE = 146;
inline constexpr D3DRENDERSTATETYPE D3DRS_POINTSIZE = 154;
inline constexpr D3DRENDERSTATETYPE D3DRS_POINTSIZE_MIN = 155;
inline constexpr D3DRENDERSTATETYPE D3DRS_POINTSCALE_A = 158;
inline constexpr D3DRENDERSTATETYPE D3DRS_MULTISAMPLEMASK = 162;
inline constexpr D3DRENDERSTATETYPE D3DRS_POINTSIZE_MAX = 166;
inline constexpr D3DRENDERSTATETYPE D3DRS_COLORWRITEENABLE = 168;
inline constexpr D3DRENDERSTATETYPE D3DRS_BLENDOP = 171;
inline constexpr D3DRENDERSTATETYPE D3DRS_NORMALORDER = 173;  // the highest render state

using D3DTEXTURESTAGESTATETYPE = uint32_t;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_COLOROP = 1;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_COLORARG1 = 2;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_COLORARG2 = 3;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_ALPHAOP = 4;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_ALPHAARG1 = 5;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_ALPHAARG2 = 6;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_TEXCOORDINDEX = 11;  // 12 is no state
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_ADDRESSU = 13;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_ADDRESSV = 14;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_BORDERCOLOR = 15;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_MAGFILTER = 16;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_MINFILTER = 17;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_MIPFILTER = 18;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_MAXANISOTROPY = 21;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_ADDRESSW = 25;
inline constexpr D3DTEXTURESTAGESTATETYPE D3DTSS_RESULTARG = 28;  // the highest stage state

// Texture operations (D3DTSS_COLOROP, D3DTSS_ALPHAOP).
inline constexpr uint32_t D3DTOP_DISABLE = 1;
inline constexpr uint32_t D3DTOP_SELECTARG1 = 2;
inline constexpr uint32_t D3DTOP_SELECTARG2 = 3;
inline constexpr uint32_t D3DTOP_MODULATE = 4;
inline constexpr uint32_t D3DTOP_MODULATE2X = 5;
inline constexpr uint32_t D3DTOP_MODULATE4X = 6;
inline constexpr uint32_t D3DTOP_ADD = 7;
inline constexpr uint32_t D3DTOP_ADDSIGNED = 8;
inline constexpr uint32_t D3DTOP_SUBTRACT = 10;

// Texture arguments: a selector in the low bits, modifier bits above it.
inline constexpr uint32_t D3DTA_SELECTMASK = 0x0F;
inline constexpr uint32_t D3DTA_DIFFUSE = 0;
inline constexpr uint32_t D3DTA_CURRENT = 1;
inline constexpr uint32_t D3DTA_TEXTURE = 2;
inline constexpr uint32_t D3DTA_TFACTOR = 3;
inline constexpr uint32_t D3DTA_COMPLEMENT = 0x10;
inline constexpr uint32_t D3DTA_ALPHAREPLICATE = 0x20;

inline constexpr uint32_t D3DCMP_NEVER = 1;
inline constexpr uint32_t D3DCMP_LESS = 2;
inline constexpr uint32_t D3DCMP_EQUAL = 3;
inline constexpr uint32_t D3DCMP_LESSEQUAL = 4;
inline constexpr uint32_t D3DCMP_GREATER = 5;
inline constexpr uint32_t D3DCMP_NOTEQUAL = 6;
inline constexpr uint32_t D3DCMP_GREATEREQUAL = 7;
inline constexpr uint32_t D3DCMP_ALWAYS = 8;

inline constexpr uint32_t D3DBLEND_ZERO = 1;
inline constexpr uint32_t D3DBLEND_ONE = 2;
inline constexpr uint32_t D3DBLEND_SRCCOLOR = 3;
inline constexpr uint32_t D3DBLEND_INVSRCCOLOR = 4;
inline constexpr uint32_t D3DBLEND_SRCALPHA = 5;
inline constexpr uint32_t D3DBLEND_INVSRCALPHA = 6;
inline constexpr uint32_t D3DBLEND_DESTALPHA = 7;
inline constexpr uint32_t D3DBLEND_INVDESTALPHA = 8;
inline constexpr uint32_t D3DBLEND_DESTCOLOR = 9;
inline constexpr uint32_t D3DBLEND_INVDESTCOLOR = 10;
inline constexpr uint32_t D3DBLEND_SRCALPHASAT = 11;
// Source-blend values that set the destination factor too.
inline constexpr uint32_t D3DBLEND_BOTHSRCALPHA = 12;     // source SRCALPHA, destination INVSRCALPHA
inline constexpr uint32_t D3DBLEND_BOTHINVSRCALPHA = 13;  // source INVSRCALPHA, destination SRCALPHA

inline constexpr uint32_t D3DBLENDOP_ADD = 1;
inline constexpr uint32_t D3DBLENDOP_SUBTRACT = 2;
inline constexpr uint32_t D3DBLENDOP_REVSUBTRACT = 3;
inline constexpr uint32_t D3DBLENDOP_MIN = 4;
inline constexpr uint32_t D3DBLENDOP_MAX = 5;

inline constexpr uint32_t D3DCULL_NONE = 1;
inline constexpr uint32_t D3DCULL_CW = 2;
inline constexpr uint32_t D3DCULL_CCW = 3;
inline constexpr uint32_t D3DFILL_SOLID = 3;
inline constexpr uint32_t D3DSHADE_FLAT = 1;
inline constexpr uint32_t D3DSHADE_GOURAUD = 2;
inline constexpr uint32_t D3DZB_FALSE = 0;
inline constexpr uint32_t D3DZB_TRUE = 1;
inline constexpr uint32_t D3DSTENCILOP_KEEP = 1;
inline constexpr uint32_t D3DMCS_COLOR1 = 1;  // material source: the diffuse vertex colour
inline constexpr uint32_t D3DMCS_COLOR2 = 2;  // material source: the specular vertex colour

inline constexpr uint32_t D3DTADDRESS_WRAP = 1;
inline constexpr uint32_t D3DTADDRESS_MIRROR = 2;
inline constexpr uint32_t D3DTADDRESS_CLAMP = 3;
inline constexpr uint32_t D3DTADDRESS_BORDER = 4;
inline constexpr uint32_t D3DTEXF_NONE = 0;
inline constexpr uint32_t D3DTEXF_POINT = 1;
inline constexpr uint32_t D3DTEXF_LINEAR = 2;
