#pragma once
// Writers of animations made of 0x??RRGGBB frames (the top byte is ignored, rows top first, as
// the device reads its back buffer back): a looping GIF and an animated WebP. No Qt: giflib
// and libwebp do the encoding.
// Failures raise rt::Error 75 (Path/File access error) naming the file. An animation's file is
// written whole when it is finished and only then takes its name (runtime/FileWrite.h): a
// failure leaves no file, and a file of that name as it was.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace animation {

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // One frame of the size the sink was made for.
    virtual void add(const uint32_t* pixels) = 0;
    // Writes what is left; the output is complete once this returns.
    virtual void finish() = 0;
};

struct FrameFormat {
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t framesPerSecond = 25;
};

// A GIF that loops for ever. Each frame stores the part that changed since the one before,
// with its colours as they are where they fit in 256 (see Palette.h).
std::unique_ptr<FrameSink> gifWriter(const std::string& path, const FrameFormat& format);
// The largest side a WebP picture may have.
inline constexpr uint32_t kWebpMaxSide = 16383;
// An animated WebP that loops for ever: lossless, or lossy at `lossyQuality` (0 to 100).
std::unique_ptr<FrameSink> webpWriter(const std::string& path, const FrameFormat& format,
                                      std::optional<float> lossyQuality);

}  // namespace animation
