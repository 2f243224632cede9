#include "animation/Palette.h"

#include <algorithm>
#include <tuple>
#include <climits>

namespace animation {

ColourMap::ColourMap() : keys_(512, kEmpty), values_(512, 0) {}

size_t ColourMap::slotOf(uint32_t colour) const {
    const size_t mask = keys_.size() - 1;
    size_t i = (colour * 0x9E3779B1u) >> 7 & mask;
    while (keys_[i] != kEmpty && keys_[i] != colour) i = (i + 1) & mask;
    return i;
}

uint32_t& ColourMap::operator[](uint32_t colour) {
    size_t i = slotOf(colour);
    if (keys_[i] == kEmpty) {
        if (2 * (size_ + 1) > keys_.size()) {
            grow();
            i = slotOf(colour);
        }
        keys_[i] = colour;
        ++size_;
    }
    return values_[i];
}

const uint32_t* ColourMap::find(uint32_t colour) const {
    const size_t i = slotOf(colour);
    return keys_[i] == kEmpty ? nullptr : &values_[i];
}

void ColourMap::grow() {
    std::vector<uint32_t> keys(keys_.size() * 2, kEmpty), values(keys_.size() * 2, 0);
    keys.swap(keys_);
    values.swap(values_);
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i] != kEmpty) {
            const size_t slot = slotOf(keys[i]);
            keys_[slot] = keys[i];
            values_[slot] = values[i];
        }
}

std::vector<ColourCount> countColours(const Region& region, size_t limit) {
    ColourMap positions;  // colour -> its place in `out`, plus one
    std::vector<ColourCount> out;
    for (uint32_t y = 0; y < region.height; ++y) {
        uint32_t x = 0;
        while (x < region.width) {
            // Cel-shaded rows are long runs of one colour: each run is looked up once.
            const uint32_t colour = region.at(x, y);
            uint32_t run = 1;
            while (x + run < region.width && region.at(x + run, y) == colour) ++run;
            uint32_t& place = positions[colour];
            if (place == 0) {
                if (out.size() == limit) return out;
                out.push_back({colour, 0});
                place = static_cast<uint32_t>(out.size());
            }
            out[place - 1].count += run;
            x += run;
        }
    }
    return out;
}

namespace {

int red(uint32_t c) { return int(c >> 16 & 0xFF); }
int green(uint32_t c) { return int(c >> 8 & 0xFF); }
int blue(uint32_t c) { return int(c & 0xFF); }

// Wu's quantizer: cumulative moments of a 32-level colour cube, cut box by box where the cut
// lowers the summed variance most.
class WuQuantizer {
public:
    explicit WuQuantizer(const std::vector<ColourCount>& colours) {
        for (const ColourCount& c : colours) {
            const int r = red(c.colour), g = green(c.colour), b = blue(c.colour);
            const size_t cell = index(r / 8 + 1, g / 8 + 1, b / 8 + 1);
            const double n = c.count;
            weight_[cell] += n;
            sumR_[cell] += n * r;
            sumG_[cell] += n * g;
            sumB_[cell] += n * b;
            sumSquares_[cell] += n * (r * r + g * g + b * b);
        }
        for (Moments* m : {&weight_, &sumR_, &sumG_, &sumB_, &sumSquares_}) accumulate(*m);
    }

    std::vector<uint32_t> palette(size_t colours) {
        std::vector<Box> boxes{Box{0, kSide - 1, 0, kSide - 1, 0, kSide - 1}};
        std::vector<double> variance{0.0};
        size_t next = 0;
        while (boxes.size() < colours) {
            Box second;
            if (cut(boxes[next], second)) {
                boxes.push_back(second);
                variance[next] = spread(boxes[next]);
                variance.push_back(spread(second));
            } else {
                variance[next] = 0.0;
            }
            next = size_t(std::max_element(variance.begin(), variance.end()) - variance.begin());
            if (variance[next] <= 0.0) break;
        }
        std::vector<uint32_t> out;
        for (const Box& b : boxes) {
            const double w = volume(b, weight_);
            if (w <= 0) continue;
            auto mean = [&](const Moments& m) { return uint32_t(std::clamp(volume(b, m) / w + 0.5, 0.0, 255.0)); };
            out.push_back(mean(sumR_) << 16 | mean(sumG_) << 8 | mean(sumB_));
        }
        return out;
    }

private:
    static constexpr int kSide = 33;
    using Moments = std::vector<double>;
    // Lower bounds exclusive, upper inclusive.
    struct Box {
        int r0, r1, g0, g1, b0, b1;
    };

    static size_t index(int r, int g, int b) { return (size_t(r) * kSide + size_t(g)) * kSide + size_t(b); }

    static void accumulate(Moments& m) {
        for (int r = 1; r < kSide; ++r)
            for (int g = 1; g < kSide; ++g)
                for (int b = 1; b < kSide; ++b)
                    m[index(r, g, b)] += m[index(r - 1, g, b)] + m[index(r, g - 1, b)] + m[index(r, g, b - 1)] -
                                         m[index(r - 1, g - 1, b)] - m[index(r - 1, g, b - 1)] -
                                         m[index(r, g - 1, b - 1)] + m[index(r - 1, g - 1, b - 1)];
    }

    static double volume(const Box& b, const Moments& m) {
        return m[index(b.r1, b.g1, b.b1)] - m[index(b.r1, b.g1, b.b0)] - m[index(b.r1, b.g0, b.b1)] +
               m[index(b.r1, b.g0, b.b0)] - m[index(b.r0, b.g1, b.b1)] + m[index(b.r0, b.g1, b.b0)] +
               m[index(b.r0, b.g0, b.b1)] - m[index(b.r0, b.g0, b.b0)];
    }

    // The box's summed squared distance from its mean.
    double spread(const Box& b) const {
        const double w = volume(b, weight_);
        if (w <= 1) return 0.0;
        const double r = volume(b, sumR_), g = volume(b, sumG_), bl = volume(b, sumB_);
        return volume(b, sumSquares_) - (r * r + g * g + bl * bl) / w;
    }

    // The box cut along one axis at `at` keeps levels up to `at` on its lower side.
    static std::pair<Box, Box> split(const Box& b, int axis, int at) {
        Box low = b, high = b;
        int Box::*upper = axis == 0 ? &Box::r1 : axis == 1 ? &Box::g1 : &Box::b1;
        int Box::*lower = axis == 0 ? &Box::r0 : axis == 1 ? &Box::g0 : &Box::b0;
        low.*upper = at;
        high.*lower = at;
        return {low, high};
    }

    // The best cut of `b`: the lower half stays in `b`, the upper goes to `out`.
    bool cut(Box& b, Box& out) const {
        const double wholeW = volume(b, weight_), wholeR = volume(b, sumR_), wholeG = volume(b, sumG_),
                     wholeB = volume(b, sumB_);
        double best = 0.0;
        int bestAxis = -1, bestAt = 0;
        for (int axis = 0; axis < 3; ++axis) {
            const int first = axis == 0 ? b.r0 : axis == 1 ? b.g0 : b.b0;
            const int last = axis == 0 ? b.r1 : axis == 1 ? b.g1 : b.b1;
            for (int at = first + 1; at < last; ++at) {
                const Box low = split(b, axis, at).first;
                const double w = volume(low, weight_);
                if (w <= 0 || w >= wholeW) continue;
                const double r = volume(low, sumR_), g = volume(low, sumG_), bl = volume(low, sumB_);
                const double hr = wholeR - r, hg = wholeG - g, hb = wholeB - bl;
                const double score = (r * r + g * g + bl * bl) / w + (hr * hr + hg * hg + hb * hb) / (wholeW - w);
                if (score > best) {
                    best = score;
                    bestAxis = axis;
                    bestAt = at;
                }
            }
        }
        if (bestAxis < 0) return false;
        std::tie(b, out) = split(b, bestAxis, bestAt);
        return true;
    }

    static constexpr size_t kCells = size_t{kSide} * kSide * kSide;
    Moments weight_ = Moments(kCells), sumR_ = Moments(kCells), sumG_ = Moments(kCells), sumB_ = Moments(kCells),
            sumSquares_ = Moments(kCells);
};

}  // namespace

std::vector<uint32_t> choosePalette(const std::vector<ColourCount>& colours) {
    std::vector<uint32_t> palette;
    if (colours.size() <= 256) {
        for (const ColourCount& c : colours) palette.push_back(c.colour);
        return palette;
    }
    // Colours that cover a thousandth of the pixels each are kept as they are, up to half the
    // palette; the others share the rest.
    uint64_t pixels = 0;
    for (const ColourCount& c : colours) pixels += c.count;
    std::vector<ColourCount> byCount = colours;
    std::sort(byCount.begin(), byCount.end(), [](const ColourCount& a, const ColourCount& b) { return a.count > b.count; });
    size_t exact = 0;
    while (exact < 128 && uint64_t{byCount[exact].count} * 1000 >= pixels) palette.push_back(byCount[exact++].colour);
    const std::vector<ColourCount> rest(byCount.begin() + std::ptrdiff_t(exact), byCount.end());
    for (uint32_t colour : WuQuantizer(rest).palette(256 - exact)) palette.push_back(colour);
    return palette;
}

ColourMap nearestEntries(const std::vector<ColourCount>& colours, const std::vector<uint32_t>& palette) {
    ColourMap out;
    for (const ColourCount& c : colours) {
        int best = INT_MAX;
        uint32_t bestIndex = 0;
        for (uint32_t i = 0; i < palette.size() && best > 0; ++i) {
            const int dr = red(c.colour) - red(palette[i]), dg = green(c.colour) - green(palette[i]),
                      db = blue(c.colour) - blue(palette[i]);
            const int d = dr * dr + dg * dg + db * db;
            if (d < best) {
                best = d;
                bestIndex = i;
            }
        }
        out[c.colour] = bestIndex;
    }
    return out;
}

Region changedRegion(const uint32_t* now, const uint32_t* before, uint32_t width, uint32_t height) {
    uint32_t left = width, right = 0, top = height, bottom = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t* a = now + std::size_t{y} * width;
        const uint32_t* b = before + std::size_t{y} * width;
        uint32_t x = 0;
        while (x < width && ((a[x] ^ b[x]) & 0xFFFFFFu) == 0) ++x;
        if (x == width) continue;
        uint32_t last = width - 1;
        while (((a[last] ^ b[last]) & 0xFFFFFFu) == 0) --last;
        left = std::min(left, x);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = y;
    }
    if (top == height) return {now, width, 0, 0, 0, 0};
    return {now, width, left, top, right - left + 1, bottom - top + 1};
}

IndexedRegion FramePalettes::index(const Region& region) {
    const std::vector<ColourCount> colours = countColours(region);
    size_t newColours = 0;
    for (const ColourCount& c : colours) newColours += globalIndex_.find(c.colour) == nullptr ? 1 : 0;
    IndexedRegion out;
    ColourMap indices;
    if (global_.size() + newColours <= 256) {
        for (const ColourCount& c : colours) {
            uint32_t& slot = globalIndex_[c.colour];
            if (slot == 0) {
                global_.push_back(c.colour);
                slot = uint32_t(global_.size());
            }
            indices[c.colour] = slot - 1;
        }
    } else {
        out.palette = choosePalette(colours);
        indices = nearestEntries(colours, out.palette);
    }
    out.indices.resize(std::size_t{region.width} * region.height);
    uint8_t* to = out.indices.data();
    for (uint32_t y = 0; y < region.height; ++y) {
        uint32_t x = 0;
        while (x < region.width) {
            const uint32_t colour = region.at(x, y);
            const auto index = static_cast<uint8_t>(*indices.find(colour));
            for (; x < region.width && region.at(x, y) == colour; ++x) *to++ = index;
        }
    }
    return out;
}

}  // namespace animation
