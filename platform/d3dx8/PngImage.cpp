#include "d3dx8/PngImage.h"

#include <QBuffer>
#include <QImage>

#include <string>

#include "runtime/Error.h"

namespace d3dx8 {

QByteArray encodePng(uint32_t width, uint32_t height, const uint32_t* pixels) {
    // Read in place: the image is only encoded, never changed.
    const QImage image(reinterpret_cast<const uchar*>(pixels), int(width), int(height), int(width * 4),
                       QImage::Format_RGB32);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        rt::raiseRuntime(rt::errc::PathFileAccess,
                         "cannot encode a PNG of " + std::to_string(width) + "x" + std::to_string(height));
    return bytes;
}

}  // namespace d3dx8
