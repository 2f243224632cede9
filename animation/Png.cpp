// PNG with zlib: 8-bit RGB, each row filtered the way that leaves the smallest sum of
// magnitudes (the usual heuristic), one IDAT chunk.

#include <zlib.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "animation/Output.h"
#include "animation/Writers.h"
#include "runtime/Error.h"

namespace animation {
namespace {

void putWord(std::vector<unsigned char>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

void putChunk(std::vector<unsigned char>& out, const char* type, const std::vector<unsigned char>& data) {
    putWord(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putWord(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

int paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Rows of filter type and RGB bytes, ready to deflate.
std::vector<unsigned char> filteredRows(uint32_t width, uint32_t height, const uint32_t* pixels) {
    const size_t rowBytes = size_t{width} * 3;
    std::vector<unsigned char> out, row(rowBytes), above(rowBytes, 0);
    out.reserve((rowBytes + 1) * height);
    std::array<std::vector<unsigned char>, 5> candidates;
    for (auto& c : candidates) c.resize(rowBytes);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t p = pixels[size_t{y} * width + x];
            row[3 * x] = static_cast<unsigned char>(p >> 16);
            row[3 * x + 1] = static_cast<unsigned char>(p >> 8);
            row[3 * x + 2] = static_cast<unsigned char>(p);
        }
        size_t best = 0;
        long bestSum = -1;
        for (size_t type = 0; type < candidates.size(); ++type) {
            long sum = 0;
            for (size_t i = 0; i < rowBytes; ++i) {
                const int a = i >= 3 ? row[i - 3] : 0, b = above[i], c = i >= 3 ? above[i - 3] : 0;
                const int predicted = type == 0 ? 0 : type == 1 ? a : type == 2 ? b : type == 3 ? (a + b) / 2 : paeth(a, b, c);
                const auto value = static_cast<unsigned char>(row[i] - predicted);
                candidates[type][i] = value;
                sum += value < 128 ? value : 256 - value;
            }
            if (bestSum < 0 || sum < bestSum) {
                bestSum = sum;
                best = type;
            }
        }
        out.push_back(static_cast<unsigned char>(best));
        out.insert(out.end(), candidates[best].begin(), candidates[best].end());
        above.swap(row);
    }
    return out;
}

class PngSequenceSink : public FrameSink {
public:
    PngSequenceSink(const std::string& prefix, const FrameFormat& format, int32_t frameCount)
        : prefix_(prefix), format_(format), frameCount_(frameCount) {}

    void add(const uint32_t* pixels) override {
        writePng(pngSequenceName(prefix_, frameCount_, frames_++), format_.width, format_.height, pixels);
    }
    void finish() override {}

private:
    std::string prefix_;
    FrameFormat format_;
    int32_t frameCount_;
    int32_t frames_ = 0;
};

}  // namespace

void writePng(const std::string& path, uint32_t width, uint32_t height, const uint32_t* pixels) {
    std::vector<unsigned char> header;
    putWord(header, width);
    putWord(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, no interlace
    const std::vector<unsigned char> rows = filteredRows(width, height, pixels);
    uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
    std::vector<unsigned char> packed(packedSize);
    if (compress2(packed.data(), &packedSize, rows.data(), static_cast<uLong>(rows.size()), 6) != Z_OK)
        rt::raiseRuntime(rt::errc::OutOfMemory, "compressing " + path);
    packed.resize(packedSize);
    std::vector<unsigned char> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", packed);
    putChunk(file, "IEND", {});
    writeFile(path, file.data(), file.size());
}

std::string pngSequenceName(const std::string& prefix, int32_t frameCount, int32_t frame) {
    const int digits = std::max<int>(3, int(std::to_string(std::max(frameCount - 1, 0)).size()));
    std::string number = std::to_string(frame);
    return prefix + std::string(size_t(std::max<int>(0, digits - int(number.size()))), '0') + number + ".png";
}

std::unique_ptr<FrameSink> pngSequenceWriter(const std::string& prefix, const FrameFormat& format, int32_t frameCount) {
    return std::make_unique<PngSequenceSink>(prefix, format, frameCount);
}

}  // namespace animation
