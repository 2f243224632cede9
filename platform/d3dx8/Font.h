#pragma once
// Text drawn onto the back buffer with a window font. QPainter lays the text out and renders
// it into an image of the pixels it covers (TextImage.h); the image becomes a texture that
// the device draws as one screen-space quad with alpha blending. The overlay draws the same
// lines every frame, so the last few images are kept as textures. This header names Qt's
// types without including Qt: the frame recipe that draws the overlay is kept free of it.

#include <cstdint>
#include <memory>
#include <string>

#include "d3d8/d3d8types.h"

class Direct3DDevice8;
class QFont;
class QString;

// DrawText format flags.
inline constexpr uint32_t DT_TOP = 0x0;
inline constexpr uint32_t DT_LEFT = 0x0;
inline constexpr uint32_t DT_CENTER = 0x1;
inline constexpr uint32_t DT_RIGHT = 0x2;
inline constexpr uint32_t DT_VCENTER = 0x4;
inline constexpr uint32_t DT_BOTTOM = 0x8;
inline constexpr uint32_t DT_WORDBREAK = 0x10;
inline constexpr uint32_t DT_SINGLELINE = 0x20;
inline constexpr uint32_t DT_EXPANDTABS = 0x40;
inline constexpr uint32_t DT_NOCLIP = 0x100;
inline constexpr uint32_t DT_CALCRECT = 0x400;

// The same font this many times larger, for a window of that many device pixels per pixel.
QFont scaledFont(const QFont& font, double pixelRatio);

class D3DXFont {
public:
    D3DXFont(std::shared_ptr<Direct3DDevice8> device, const QFont& font);
    ~D3DXFont();
    D3DXFont(const D3DXFont&) = delete;
    D3DXFont& operator=(const D3DXFont&) = delete;

    // Draws the first `count` UTF-16 units of `text` (all of it when count is negative or
    // larger than the text) inside `rect` (back-buffer pixels) and returns the height drawn.
    // Must run between BeginScene and EndScene. Every device state it changes is put back.
    int32_t DrawTextW(const QString& text, int32_t count, const D3DRECT& rect, uint32_t format,
                      D3DCOLOR color);
    int32_t DrawTextW(const std::u16string& text, int32_t count, const D3DRECT& rect,
                      uint32_t format, D3DCOLOR color);

    const QFont& font() const;
    const std::shared_ptr<Direct3DDevice8>& device() const { return device_; }
    // Texts whose images are currently kept as textures.
    std::size_t cachedTextCount() const;

    static constexpr std::size_t kCacheSize = 16;

private:
    struct TextCache;  // the font and the texts drawn last, most recent first (Font.cpp)

    std::shared_ptr<Direct3DDevice8> device_;
    std::unique_ptr<TextCache> cache_;
};
