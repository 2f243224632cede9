#pragma once
// Text drawn onto the back buffer with a window font. QPainter lays the text out and renders
// it into an image of the pixels it covers; the image becomes a texture that the device draws
// as one screen-space quad with alpha blending. The overlay draws the same lines every frame,
// so the last few images are kept as textures.

#include <QFont>
#include <QRect>
#include <QString>

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "d3d8/Resources.h"
#include "d3d8/d3d8types.h"

class Direct3DDevice8;

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

// Text rendered for one DrawText call, before it reaches the device.
struct TextImage {
    QRect area;                    // back-buffer pixels the image covers; empty: nothing to draw
    int32_t height = 0;            // what DrawText returns
    std::vector<uint32_t> texels;  // area.width() x area.height(), 0xAARRGGBB, top row first
};

// Lays out `text` in `rect` as DrawText does with `format` and renders it in `color`: each
// texel carries the colour with its alpha scaled by the glyph coverage. The area is the text's
// extent, cut to `rect` (unless DT_NOCLIP) and to `target` (the back buffer). The result
// height is the text's height, or with DT_VCENTER / DT_BOTTOM the distance from rect.top to
// the text's bottom. DT_CALCRECT measures only: the area is left empty.
TextImage renderTextImage(const QFont& font, const QString& text, const D3DRECT& rect,
                          uint32_t format, D3DCOLOR color, const QRect& target);

// The same font this many times larger, for a window of that many device pixels per pixel.
QFont scaledFont(const QFont& font, double pixelRatio);

class D3DXFont {
public:
    D3DXFont(std::shared_ptr<Direct3DDevice8> device, const QFont& font);

    // Draws the first `count` UTF-16 units of `text` (all of it when count is negative or
    // larger than the text) inside `rect` (back-buffer pixels) and returns the height drawn.
    // Must run between BeginScene and EndScene. Every device state it changes is put back.
    int32_t DrawTextW(const QString& text, int32_t count, const D3DRECT& rect, uint32_t format,
                      D3DCOLOR color);
    int32_t DrawTextW(const std::u16string& text, int32_t count, const D3DRECT& rect,
                      uint32_t format, D3DCOLOR color);

    const QFont& font() const { return font_; }
    const std::shared_ptr<Direct3DDevice8>& device() const { return device_; }
    // Texts whose images are currently kept as textures.
    std::size_t cachedTextCount() const { return cache_.size(); }

    static constexpr std::size_t kCacheSize = 16;

private:
    struct CachedText {
        QString text;
        D3DRECT rect;
        uint32_t format;
        D3DCOLOR color;
        QRect target;
        QRect area;
        int32_t height;
        std::shared_ptr<Direct3DTexture8> texture;
    };

    const CachedText& lookUp(const QString& text, const D3DRECT& rect, uint32_t format,
                             D3DCOLOR color, const QRect& target);
    void drawQuad(const CachedText& entry);

    std::shared_ptr<Direct3DDevice8> device_;
    QFont font_;
    std::list<CachedText> cache_;  // most recently used first
};
