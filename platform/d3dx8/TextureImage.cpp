#include "d3dx8/TextureImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "d3dx8/D3DX8.h"
#include "runtime/Status.h"

namespace {

// A quarter above the largest image accepted, stored as 32-bit texels: room for any format's
// overhead. A larger file is refused before it is read into memory.
constexpr std::uintmax_t kMaxImageFileBytes = kMaxImageTexels * 5;

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
    // Read with the system's calls, whose failures set errno (a stream's need not).
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fileNotFound(path, std::string("cannot be opened: ") + std::strerror(errno));
    std::vector<std::byte> bytes(static_cast<std::size_t>(size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got != bytes.size()) fileNotFound(path, "read failed");
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

enum class ImageFormat { Bmp, Png, Jpeg, Tga };

const char* formatName(ImageFormat format) {
    switch (format) {
    case ImageFormat::Bmp: return "bmp";
    case ImageFormat::Png: return "png";
    case ImageFormat::Jpeg: return "jpeg";
    case ImageFormat::Tga: return "tga";
    }
    return "";
}

// What a header declares, read before any pixel is decoded.
struct Declared {
    ImageFormat format;
    uint64_t width = 0, height = 0;
};

// The file's bytes with bounds-checked reads. need() is the one truncation check: a part the
// header announces that does not fit in the file raises, naming the part and the positions.
class ImageBytes {
public:
    ImageBytes(std::span<const std::byte> bytes, const std::string& name) : bytes_(bytes), name_(name) {}

    uint64_t size() const { return bytes_.size(); }
    uint8_t at(uint64_t pos) const { return std::to_integer<uint8_t>(bytes_[pos]); }
    uint32_t le16(uint64_t pos) const { return at(pos) | uint32_t{at(pos + 1)} << 8; }
    uint32_t le32(uint64_t pos) const { return le16(pos) | le16(pos + 2) << 16; }
    uint32_t be16(uint64_t pos) const { return uint32_t{at(pos)} << 8 | at(pos + 1); }
    uint32_t be32(uint64_t pos) const { return be16(pos) << 16 | be16(pos + 2); }
    bool holds(uint64_t pos, std::string_view text) const {
        return pos <= size() && size() - pos >= text.size() && std::memcmp(bytes_.data() + pos, text.data(), text.size()) == 0;
    }
    std::string type(uint64_t pos) const { return {char(at(pos)), char(at(pos + 1)), char(at(pos + 2)), char(at(pos + 3))}; }

    void need(uint64_t end, const std::string& part) const {
        if (end > size())
            invalid("truncated: " + part + " ends at byte " + std::to_string(end) + ", but the file ends at byte " +
                    std::to_string(size()));
    }
    [[noreturn]] void invalid(const std::string& reason) const { invalidImage(name_, reason); }

    void checkSize(uint64_t width, uint64_t height) const {
        auto inRange = [](uint64_t side) { return side > 0 && side <= kMaxImageSide; };
        if (!inRange(width) || !inRange(height) || width * height > kMaxImageTexels)
            invalid("image size " + std::to_string(width) + " x " + std::to_string(height) +
                    " is out of range (at most " + std::to_string(kMaxImageSide) + " per side and " +
                    std::to_string(kMaxImageTexels) + " texels)");
    }

private:
    std::span<const std::byte> bytes_;
    const std::string& name_;
};

// RLE8 / RLE4 pixel data: two-byte codes up to the end-of-bitmap code, or until the codes
// have moved past the last row.
void checkBmpRle(const ImageBytes& b, uint64_t pos, uint64_t height, bool fourBit) {
    const std::string part = "the RLE pixel data (from byte " + std::to_string(pos) + ")";
    for (uint64_t row = 0; row < height;) {
        b.need(pos + 2, part);
        const uint32_t count = b.at(pos), code = b.at(pos + 1);
        pos += 2;
        if (count > 0) continue;  // a run of one value
        if (code == 0) {          // end of line
            ++row;
        } else if (code == 1) {  // end of bitmap
            return;
        } else if (code == 2) {  // move right and down
            b.need(pos + 2, part);
            row += b.at(pos + 1);
            pos += 2;
        } else {  // `code` literal pixels, padded to a whole word
            const uint64_t bytes = fourBit ? (code + 1) / 2 : code;
            pos += (bytes + 1) & ~uint64_t{1};
            b.need(pos, part);
        }
    }
}

Declared inspectBmp(const ImageBytes& b) {
    b.need(18, "the BMP file header");
    const uint64_t headerSize = b.le32(14);
    if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
        headerSize != 124)
        b.invalid("BMP header of " + std::to_string(headerSize) + " bytes is not supported");
    b.need(14 + headerSize, "the BMP header");
    const bool core = headerSize == 12;
    Declared d{ImageFormat::Bmp};
    uint32_t bits, compression = 0, coloursUsed = 0;
    if (core) {
        d.width = b.le16(18), d.height = b.le16(20), bits = b.le16(24);
    } else {
        const auto width = int32_t(b.le32(18)), height = int32_t(b.le32(22));  // height < 0: top-down rows
        d.width = width < 0 ? 0 : uint64_t(width);
        d.height = uint64_t(std::abs(int64_t{height}));
        bits = b.le16(28), compression = b.le32(30), coloursUsed = b.le32(46);
    }
    b.checkSize(d.width, d.height);
    const bool known = (compression == 0 && (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) ||
                       (compression == 1 && bits == 8) || (compression == 2 && bits == 4) ||
                       (compression == 3 && (bits == 16 || bits == 32));
    if (!known)
        b.invalid("BMP of " + std::to_string(bits) + " bits per pixel with compression " + std::to_string(compression) +
                  " is not supported");
    // Colour masks follow a 40-byte header; the palette follows the masks.
    uint64_t end = 14 + headerSize + (headerSize == 40 && compression == 3 ? 12 : 0);
    if (bits <= 8) end += (coloursUsed != 0 ? coloursUsed : uint64_t{1} << bits) * (core ? 3 : 4);
    b.need(end, "the BMP header and palette");
    // The pixels start at the offset the header gives, or right after the palette when that
    // offset points into it.
    const uint64_t pixels = std::max<uint64_t>(b.le32(10), end);
    if (compression == 1 || compression == 2) {
        checkBmpRle(b, pixels, d.height, compression == 2);
    } else {
        const uint64_t rowBytes = (d.width * bits + 31) / 32 * 4;
        b.need(pixels + rowBytes * d.height, "the pixel data (" + std::to_string(d.height) + " rows of " +
                                                 std::to_string(rowBytes) + " bytes from byte " + std::to_string(pixels) + ")");
    }
    return d;
}

// Chunks up to IEND, each within the file; the pixel data itself is checked by the decoder.
Declared inspectPng(const ImageBytes& b) {
    b.need(33, "the PNG header");
    if (b.be32(8) != 13 || b.type(12) != "IHDR")
        b.invalid("the first PNG chunk is not a header");
    Declared d{ImageFormat::Png, b.be32(16), b.be32(20)};
    b.checkSize(d.width, d.height);
    bool data = false;
    for (uint64_t pos = 8;;) {
        b.need(pos + 8, "the chunk at byte " + std::to_string(pos) + " (no IEND chunk before it)");
        const uint64_t length = b.be32(pos);
        const std::string type = b.type(pos + 4);
        if (length > 0x7FFFFFFFu) b.invalid("PNG chunk '" + type + "' at byte " + std::to_string(pos) + " is too long");
        b.need(pos + 12 + length, "PNG chunk '" + type + "' at byte " + std::to_string(pos));
        pos += 12 + length;
        data = data || type == "IDAT";
        if (type == "IEND") break;
    }
    if (!data) b.invalid("the PNG file has no image data");
    return d;
}

bool isStandaloneJpegMarker(uint32_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8); }

bool isJpegFrame(uint32_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Segments and scans up to the end-of-image mark. The decoder fills a cut scan with grey
// and reports success, so the mark's presence is what tells a whole file from a cut one.
Declared inspectJpeg(const ImageBytes& b) {
    Declared d{ImageFormat::Jpeg};
    bool frame = false, scan = false;
    const std::string part = "the JPEG data (no end-of-image mark)";
    for (uint64_t pos = 2;;) {
        while (pos < b.size() && b.at(pos) != 0xFF) ++pos;  // stray bytes before a marker
        while (pos + 1 < b.size() && b.at(pos + 1) == 0xFF) ++pos;  // fill bytes
        b.need(pos + 2, part);
        const uint32_t marker = b.at(pos + 1);
        if (marker == 0xD9) break;
        if (isStandaloneJpegMarker(marker) || marker == 0x00) {
            pos += 2;
            continue;
        }
        b.need(pos + 4, part);
        const uint64_t length = b.be16(pos + 2);
        if (length < 2) b.invalid("JPEG segment at byte " + std::to_string(pos) + " has length " + std::to_string(length));
        b.need(pos + 2 + length, "JPEG segment at byte " + std::to_string(pos));
        if (isJpegFrame(marker)) {
            if (length < 8) b.invalid("JPEG frame header at byte " + std::to_string(pos) + " is too short");
            d.height = b.be16(pos + 5), d.width = b.be16(pos + 7);
            b.checkSize(d.width, d.height);
            frame = true;
        }
        pos += 2 + length;
        if (marker == 0xDA) {  // the scan's coded data runs to the next marker
            if (!frame) b.invalid("JPEG scan at byte " + std::to_string(pos) + " comes before any frame header");
            scan = true;
            while (pos + 1 < b.size() && !(b.at(pos) == 0xFF && b.at(pos + 1) != 0 &&
                                           !(b.at(pos + 1) >= 0xD0 && b.at(pos + 1) <= 0xD7)))
                ++pos;
        }
    }
    if (!scan) b.invalid("the JPEG file has no image data");
    return d;
}

// Uncompressed true colour, the one kind the decoder reads; a version 2 file ends in a
// 26-byte footer that the pixels must not run into.
Declared inspectTga(const ImageBytes& b) {
    b.need(18, "the TGA header");
    const uint32_t idLength = b.at(0), mapType = b.at(1), type = b.at(2), mapLength = b.le16(5), mapBits = b.at(7),
                   bits = b.at(16);
    if (type != 2 || mapType > 1 || (bits != 15 && bits != 16 && bits != 24 && bits != 32))
        b.invalid("TGA of image type " + std::to_string(type) + " with " + std::to_string(bits) +
                  " bits per pixel is not supported (only uncompressed true colour)");
    // The decoder walks a colour map of entries it cannot size byte by byte to the end of the
    // file, tens of thousands of times over: a 78-byte file took seconds.
    if (mapType == 1 && mapLength > 0 && mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)
        b.invalid("TGA colour map of " + std::to_string(mapBits) + "-bit entries is not supported");
    Declared d{ImageFormat::Tga, b.le16(12), b.le16(14)};
    b.checkSize(d.width, d.height);
    const uint64_t pixels = 18 + idLength + (mapType == 1 ? uint64_t{mapLength} * ((mapBits + 7) / 8) : 0);
    constexpr std::string_view kSignature{"TRUEVISION-XFILE.\0", 18};
    const bool footer = b.size() >= 26 && b.holds(b.size() - kSignature.size(), kSignature);
    const uint64_t end = pixels + d.width * d.height * ((bits + 7) / 8);
    b.need(end + (footer ? 26 : 0), std::string("the pixel data (from byte ") + std::to_string(pixels) + ")" +
                                        (footer ? " and the footer" : ""));
    return d;
}

ImageFormat formatOf(const ImageBytes& b, const std::string& name) {
    if (b.holds(0, "BM")) return ImageFormat::Bmp;
    if (b.holds(0, "\x89PNG\r\n\x1a\n")) return ImageFormat::Png;
    if (b.holds(0, "\xFF\xD8\xFF")) return ImageFormat::Jpeg;
    // TGA has no signature: only the file's suffix names it.
    const std::size_t slash = name.find_last_of("/\\"), dot = name.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        QByteArray suffix = QByteArray::fromStdString(name.substr(dot + 1)).toLower();
        if (suffix == "tga") return ImageFormat::Tga;
    }
    b.invalid("not an image in a known format (BMP, PNG, JPEG or TGA)");
}

Declared inspect(const ImageBytes& b, const std::string& name) {
    switch (formatOf(b, name)) {
    case ImageFormat::Bmp: return inspectBmp(b);
    case ImageFormat::Png: return inspectPng(b);
    case ImageFormat::Jpeg: return inspectJpeg(b);
    case ImageFormat::Tga: return inspectTga(b);
    }
    b.invalid("not an image");
}

bool isPointFilter(uint32_t filter) {
    uint32_t kind = filter & 0xFFFF;
    return kind == D3DX_FILTER_NONE || kind == D3DX_FILTER_POINT;
}

}  // namespace

ArgbImage decodeImage(std::span<const std::byte> bytes, const std::string& name) {
    if (bytes.empty()) invalidImage(name, "file is empty");
    const Declared declared = inspect(ImageBytes(bytes, name), name);
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, formatName(declared.format));
    reader.setDecideFormatFromContent(false);
    QImage image = reader.read();
    if (image.isNull()) invalidImage(name, reader.errorString().toStdString());
    if (uint64_t(image.width()) != declared.width || uint64_t(image.height()) != declared.height)
        invalidImage(name, "decoded as " + sizeText(image.size()) + " instead of the declared " +
                               std::to_string(declared.width) + " x " + std::to_string(declared.height));
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
