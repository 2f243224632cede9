#include "PngFrames.h"

#include <algorithm>
#include <cstdio>

#include "d3dx8/PngImage.h"
#include "runtime/FileWrite.h"

namespace {

class PngSequenceSink : public animation::FrameSink {
public:
    PngSequenceSink(const std::string& prefix, const animation::FrameFormat& format, int32_t frameCount)
        : prefix_(prefix), format_(format), frameCount_(frameCount) {}

    void add(const uint32_t* pixels) override {
        writePng(pngSequenceName(prefix_, frameCount_, frames_++), format_.width, format_.height, pixels);
    }
    void finish() override {}

private:
    std::string prefix_;
    animation::FrameFormat format_;
    int32_t frameCount_;
    int32_t frames_ = 0;
};

}  // namespace

// Encoded in memory and written whole, as the animations' files are: a failure is reported
// with the system's reason and leaves a picture of that name as it was.
void writePng(const std::string& path, uint32_t width, uint32_t height, const uint32_t* pixels) {
    const QByteArray bytes = d3dx8::encodePng(width, height, pixels);
    rt::replaceFile(path, bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::string pngSequenceName(const std::string& prefix, int32_t frameCount, int32_t frame) {
    const int digits = std::max<int>(3, int(std::to_string(std::max(frameCount - 1, 0)).size()));
    char number[16];
    std::snprintf(number, sizeof number, "%0*d", digits, int(frame));
    return prefix + number + ".png";
}

std::unique_ptr<animation::FrameSink> pngSequenceWriter(const std::string& prefix,
                                                        const animation::FrameFormat& format, int32_t frameCount) {
    return std::make_unique<PngSequenceSink>(prefix, format, frameCount);
}
