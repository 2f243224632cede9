#pragma once
// Text rendered for one DrawText call, before it reaches the device (see Font.h).

#include <QFont>
#include <QRect>
#include <QString>

#include <cstdint>
#include <vector>

#include "d3d8/d3d8types.h"

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
