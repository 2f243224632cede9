#include "d3dx8/TextureImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "d3dx8/D3DX8.h"
#include "runtime/Status.h"

namespace {

// Far above any texture the device accepts (16384 x 16384 x 4 bytes uncompressed, plus
// headers); a larger file is refused before it is read into memory.
constexpr std::uintmax_t kMaxImageFileBytes = 1100u * 1024u * 1024u;

[[noreturn]] void invalidImage(const std::string& name, const std::string& reason) {
    rt::raiseStatus(D3DXERR_INVALIDDATA, "D3DXCreateTextureFromFile", "'" + name + "': " + reason);
}

[[noreturn]] void fileNotFound(const std::string& name, const std::string& reason) {
    rt::raiseStatus(D3DERR_NOTFOUND, "D3DXCreateTextureFromFile", "'" + name + "': " + reason);
}

std::string sizeText(QSize size) {
    return std::to_string(size.width()) + " x " + std::to_string(size.height());
}

// Some decoders (TGA) hand out an alpha channel for files that have none; an alpha channel
// that is opaque everywhere is treated as absent, which changes no texel.
bool carriesAlpha(const std::vector<uint32_t>& texels) {
    return std::any_of(texels.begin(), texels.end(), [](uint32_t t) { return (t >> 24) != 0xFF; });
}

ArgbImage fromQImage(const QImage& decoded) {
    QImage argb = decoded.convertToFormat(QImage::Format_ARGB32);
    ArgbImage out;
    out.width = static_cast<uint32_t>(argb.width());
    out.height = static_cast<uint32_t>(argb.height());
    out.texels.resize(std::size_t{out.width} * out.height);
    for (uint32_t y = 0; y < out.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(argb.constScanLine(static_cast<int>(y)));
        std::copy_n(row, out.width, out.texels.begin() + std::size_t{y} * out.width);
    }
    out.hasAlpha = decoded.hasAlphaChannel() && carriesAlpha(out.texels);
    out.fileFormat = out.hasAlpha ? D3DFMT_A8R8G8B8 : decoded.depth() == 24 ? D3DFMT_R8G8B8 : D3DFMT_X8R8G8B8;
    return out;
}

QImage toQImage(const ArgbImage& image) {
    QImage out(static_cast<int>(image.width), static_cast<int>(image.height), QImage::Format_ARGB32);
    for (uint32_t y = 0; y < image.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(out.scanLine(static_cast<int>(y)));
        std::copy_n(image.texels.begin() + std::size_t{y} * image.width, image.width, row);
    }
    return out;
}

std::vector<std::byte> readWholeFile(const std::string& path) {
    std::error_code ec;
    auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) fileNotFound(path, "file not found");
    if (!std::filesystem::is_regular_file(status)) fileNotFound(path, "not a regular file");
    auto size = std::filesystem::file_size(path, ec);
    if (ec) fileNotFound(path, ec.message());
    if (size > kMaxImageFileBytes) invalidImage(path, "file of " + std::to_string(size) + " bytes is too large");
    std::ifstream in(path, std::ios::binary);
    if (!in) fileNotFound(path, std::strerror(errno));
    std::vector<std::byte> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (in.gcount() != static_cast<std::streamsize>(size)) fileNotFound(path, "read failed");
    return bytes;
}

uint32_t averageOf4(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = ((a >> shift) & 0xFF) + ((b >> shift) & 0xFF) + ((c >> shift) & 0xFF) +
                       ((d >> shift) & 0xFF);
        out |= ((sum + 2) / 4) << shift;
    }
    return out;
}

// The size an image declares before its pixels are decoded. Qt's BMP reader does not report
// it, so it is read from the BMP header (width and height at fixed offsets, a negative height
// meaning top-down rows).
std::optional<QSize> declaredSize(QImageReader& reader, std::span<const std::byte> bytes) {
    if (reader.size().isValid()) return reader.size();
    if (bytes.size() < 26 || bytes[0] != std::byte{'B'} || bytes[1] != std::byte{'M'}) return std::nullopt;
    uint32_t headerSize;
    std::memcpy(&headerSize, bytes.data() + 14, 4);
    if (headerSize == 12) {  // the old core header: 16-bit unsigned sides
        uint16_t w16, h16;
        std::memcpy(&w16, bytes.data() + 18, 2);
        std::memcpy(&h16, bytes.data() + 20, 2);
        return QSize(w16, h16);
    }
    int32_t width, height;
    std::memcpy(&width, bytes.data() + 18, 4);
    std::memcpy(&height, bytes.data() + 22, 4);
    if (height == INT32_MIN) return QSize(width, 0);  // no positive counterpart: refused below
    return QSize(width, height < 0 ? -height : height);
}

void checkImageSize(QSize size, const std::string& name) {
    auto inRange = [](int side) { return side > 0 && side <= int(kMaxImageSide); };
    if (!inRange(size.width()) || !inRange(size.height()))
        invalidImage(name, "image size " + sizeText(size) + " is out of range");
}

// An empty format lets the reader decide from the content. A null result leaves the reason
// in `reason`; a declared size out of range raises at once.
QImage decodeAs(std::span<const std::byte> bytes, const QByteArray& format, const std::string& name,
                std::string& reason) {
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(format.isEmpty());
    if (!reader.canRead()) {
        reason = "not an image in a known format";
        return {};
    }
    if (auto size = declaredSize(reader, bytes)) checkImageSize(*size, name);
    QImage image = reader.read();
    if (image.isNull()) reason = reader.errorString().toStdString();
    return image;
}

QByteArray suffixOf(const std::string& name) {
    std::size_t slash = name.find_last_of("/\\"), dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return QByteArray::fromStdString(name.substr(dot + 1)).toLower();
}

bool isPointFilter(uint32_t filter) {
    uint32_t kind = filter & 0xFFFF;
    return kind == D3DX_FILTER_NONE || kind == D3DX_FILTER_POINT;
}

}  // namespace

ArgbImage decodeImage(std::span<const std::byte> bytes, const std::string& name) {
    if (bytes.empty()) invalidImage(name, "file is empty");
    std::string reason;
    QImage image = decodeAs(bytes, {}, name, reason);
    // Formats without a signature (TGA) are found only through the file's suffix.
    QByteArray suffix = suffixOf(name);
    if (image.isNull() && QImageReader::supportedImageFormats().contains(suffix)) {
        std::string ignored;
        image = decodeAs(bytes, suffix, name, ignored);
    }
    if (image.isNull()) invalidImage(name, reason);
    checkImageSize(image.size(), name);
    return fromQImage(image);
}

ArgbImage readImageFile(const std::string& path) {
    std::vector<std::byte> bytes = readWholeFile(path);
    return decodeImage(bytes, path);
}

void applyColorKey(ArgbImage& image, D3DCOLOR key) {
    if (key == 0) return;
    std::replace(image.texels.begin(), image.texels.end(), uint32_t{key}, 0u);
}

ArgbImage resizeImage(const ArgbImage& image, uint32_t width, uint32_t height, uint32_t filter) {
    if (width == image.width && height == image.height) return image;
    auto mode = isPointFilter(filter) ? Qt::FastTransformation : Qt::SmoothTransformation;
    QImage scaled = toQImage(image).scaled(static_cast<int>(width), static_cast<int>(height),
                                           Qt::IgnoreAspectRatio, mode);
    ArgbImage out = fromQImage(scaled);
    out.hasAlpha = image.hasAlpha;
    out.fileFormat = image.fileFormat;
    return out;
}

Direct3DTexture8::Level downsampleLevel(const Direct3DTexture8::Level& source, uint32_t filter) {
    Direct3DTexture8::Level out;
    out.width = std::max(1u, source.width / 2);
    out.height = std::max(1u, source.height / 2);
    out.texels.resize(std::size_t{out.width} * out.height);
    bool point = isPointFilter(filter);
    auto at = [&](uint32_t x, uint32_t y) { return source.texels[std::size_t{y} * source.width + x]; };
    for (uint32_t y = 0; y < out.height; ++y) {
        uint32_t y0 = std::min(2 * y, source.height - 1), y1 = std::min(2 * y + 1, source.height - 1);
        for (uint32_t x = 0; x < out.width; ++x) {
            uint32_t x0 = std::min(2 * x, source.width - 1), x1 = std::min(2 * x + 1, source.width - 1);
            out.texels[std::size_t{y} * out.width + x] =
                point ? at(x0, y0) : averageOf4(at(x0, y0), at(x1, y0), at(x0, y1), at(x1, y1));
        }
    }
    return out;
}

void fillMipChain(Direct3DTexture8& texture, uint32_t mipFilter) {
    for (uint32_t i = 1; i < texture.levelCount(); ++i) {
        Direct3DTexture8::Level next = downsampleLevel(texture.level(i - 1), mipFilter);
        Direct3DTexture8::Level& target = texture.mutableLevel(i);
        if (next.width != target.width || next.height != target.height)
            rt::raiseStatus(D3DERR_INVALIDCALL, "D3DXFilterTexture", "mip level size mismatch");
        target.texels = std::move(next.texels);
    }
}
