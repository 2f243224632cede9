#pragma once
// Frames of up to 256 colours, as GIF stores them. A frame that has no more colours than
// that keeps them exactly. One that has more keeps its frequent colours exactly (the flat
// bands of a cel-shaded picture) and quantizes the rest with Wu's variance-minimizing cuts of
// the colour cube; each pixel then takes its nearest palette colour, with no dithering, so a
// flat band stays flat.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace animation {

// 0x??RRGGBB pixels (the top byte is ignored), rows top first.
struct Region {
    const uint32_t* pixels = nullptr;
    uint32_t stride = 0;  // pixels from one row to the next
    uint32_t left = 0, top = 0, width = 0, height = 0;
    uint32_t at(uint32_t x, uint32_t y) const { return pixels[std::size_t{top + y} * stride + left + x] & 0xFFFFFFu; }
};

// Colour to value, for colours as 0xRRGGBB: open addressing, grown at half full.
class ColourMap {
public:
    ColourMap();
    // The value slot of a colour, inserted with value 0 when new.
    uint32_t& operator[](uint32_t colour);
    const uint32_t* find(uint32_t colour) const;
    size_t size() const { return size_; }
    template <typename Visit>
    void forEach(Visit visit) const {
        for (size_t i = 0; i < keys_.size(); ++i)
            if (keys_[i] != kEmpty) visit(keys_[i], values_[i]);
    }

private:
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
    size_t slotOf(uint32_t colour) const;
    void grow();

    std::vector<uint32_t> keys_, values_;
    size_t size_ = 0;
};

struct ColourCount {
    uint32_t colour;
    uint32_t count;
};

// The distinct colours of a region with their pixel counts, in order of first appearance.
// Counting stops (and returns what it has) once there are more than `limit`.
std::vector<ColourCount> countColours(const Region& region, size_t limit = SIZE_MAX);

// At most 256 colours for these (all of a region's colours, with their counts): the colours
// themselves when they fit, else the frequent ones and a quantization of the others.
std::vector<uint32_t> choosePalette(const std::vector<ColourCount>& colours);

// The index of each colour's nearest palette entry (squared RGB distance).
ColourMap nearestEntries(const std::vector<ColourCount>& colours, const std::vector<uint32_t>& palette);

// The rectangle of `now` where it differs from `before` (both width × height, rows packed);
// empty (width 0) when they are the same.
Region changedRegion(const uint32_t* now, const uint32_t* before, uint32_t width, uint32_t height);

// A region's pixels as indices into a palette: the global one when `palette` is empty.
struct IndexedRegion {
    std::vector<uint32_t> palette;
    std::vector<uint8_t> indices;  // width × height, rows packed
};

// The colour tables of an animation's frames. The global table grows frame by frame: a
// frame whose colours, beside those already there, still fit in 256 is indexed into it; any
// other frame gets a table of its own (its colours, or a quantization of them).
class FramePalettes {
public:
    IndexedRegion index(const Region& region);
    const std::vector<uint32_t>& global() const { return global_; }

private:
    std::vector<uint32_t> global_;
    ColourMap globalIndex_;  // colour -> its place in global_, plus one
};

}  // namespace animation
