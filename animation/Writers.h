#pragma once
// Writers of pictures and animations made of 0x??RRGGBB frames (the top byte is ignored, rows
// top first, as the device reads its back buffer back): a PNG, a looping GIF, an animated
// WebP and a numbered PNG sequence. No Qt: giflib, libwebp and zlib do the encoding.
// Failures raise rt::Error 75 (Path/File access error) naming the file; an animation's file
// is written whole when it is finished, so a failure before then leaves none.

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
// An animated WebP that loops for ever: lossless, or lossy at `lossyQuality` (0 to 100).
std::unique_ptr<FrameSink> webpWriter(const std::string& path, const FrameFormat& format,
                                      std::optional<float> lossyQuality);
// PNG files named `prefix` followed by the frame's number from 0, in at least three digits
// (enough for `frameCount` frames), and ".png".
std::unique_ptr<FrameSink> pngSequenceWriter(const std::string& prefix, const FrameFormat& format,
                                             int32_t frameCount);
// The file names of such a sequence, first and last, for a message.
std::string pngSequenceName(const std::string& prefix, int32_t frameCount, int32_t frame);

void writePng(const std::string& path, uint32_t width, uint32_t height, const uint32_t* pixels);

}  // namespace animation
