#pragma once
// Still pictures and numbered PNG sequences of frames read back from the device, encoded by
// Qt's PNG writer, each file written whole before it takes its name. Failures raise rt::Error
// 75 (Path/File access error) naming the file.

#include <cstdint>
#include <memory>
#include <string>

#include "animation/Writers.h"

void writePng(const std::string& path, uint32_t width, uint32_t height, const uint32_t* pixels);

// PNG files named `prefix` followed by the frame's number from 0, in at least three digits
// (enough for `frameCount` frames), and ".png".
std::unique_ptr<animation::FrameSink> pngSequenceWriter(const std::string& prefix,
                                                        const animation::FrameFormat& format, int32_t frameCount);
// The file name of one frame of such a sequence.
std::string pngSequenceName(const std::string& prefix, int32_t frameCount, int32_t frame);
