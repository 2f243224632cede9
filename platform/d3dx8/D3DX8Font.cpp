// Fonts from the window's font. The font is copied: the D3DX font does not follow later
// changes of the window's font, as a font made from a system handle would not.

#include "d3dx8/D3DX8.h"
#include "d3dx8/Font.h"
#include "runtime/Status.h"

std::shared_ptr<D3DXFont> D3DX8::CreateFont(const std::shared_ptr<Direct3DDevice8>& device, HFONT font) {
    if (device == nullptr) rt::raiseStatus(D3DERR_INVALIDCALL, "D3DXCreateFont", "no device");
    if (font == nullptr) rt::raiseStatus(D3DERR_INVALIDCALL, "D3DXCreateFont", "no font");
    return std::make_shared<D3DXFont>(device, *font);
}
