#pragma once
// A frame read back from the device as the bytes of a PNG file, through Qt's PNG writer: the
// pictures F12 saves and celshade-tool render writes are encoded here alike.

#include <QByteArray>

#include <cstdint>

namespace d3dx8 {

// 0x??RRGGBB pixels (the top byte is ignored), rows top first, as BackBufferImage holds them.
// Raises rt::Error 75 (Path/File access error) when Qt cannot encode them.
QByteArray encodePng(uint32_t width, uint32_t height, const uint32_t* pixels);

}  // namespace d3dx8
