#include "xfile/XFile.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "runtime/Error.h"
#include "runtime/Status.h"
#include "xfile/Buffer.h"
#include "xfile/Lexer.h"

namespace xfile {

namespace {

constexpr size_t kHeaderSize = 16;

std::string_view headerField(std::span<const std::byte> bytes, size_t offset) {
    return {reinterpret_cast<const char*>(bytes.data()) + offset, 4};
}

bool allDigits(std::string_view s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

[[noreturn]] void raiseHeaderError(std::string_view fileName, std::string_view reason) {
    std::string text(fileName);
    text += ": header: ";
    text += reason;
    rt::raiseStatus(D3DXERR_INVALIDDATA, "reading .x file", text);
}

void readFormat(std::string_view format, Header& header, std::string_view fileName) {
    if (format == "txt ") {
        header.encoding = Encoding::Text;
    } else if (format == "bin ") {
        header.encoding = Encoding::Binary;
    } else if (format == "tzip") {
        header.encoding = Encoding::Text;
        header.compressed = true;
    } else if (format == "bzip") {
        header.encoding = Encoding::Binary;
        header.compressed = true;
    } else {
        raiseHeaderError(fileName, "unknown format \"" + std::string(format) + "\" (txt, bin, tzip or bzip)");
    }
}

}  // namespace

Matrix4 identityMatrix() {
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

Matrix4 multiply(const Matrix4& a, const Matrix4& b) {
    Matrix4 r{};
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[row * 4 + k] * b[k * 4 + col];
            r[row * 4 + col] = sum;
        }
    return r;
}

Matrix4 Document::worldTransform(const Mesh& mesh) const {
    Matrix4 m = identityMatrix();
    // Frames only ever point at earlier frames, so this walk ends.
    for (int32_t f = mesh.frame; f >= 0; f = frames[static_cast<size_t>(f)].parent)
        m = multiply(m, frames[static_cast<size_t>(f)].transform);
    return m;
}

Header readHeader(std::span<const std::byte> bytes, std::string_view fileName) {
    if (bytes.size() < kHeaderSize)
        raiseHeaderError(fileName, "the file has " + std::to_string(bytes.size()) +
                                       " bytes, fewer than the 16 of a .x header");
    if (headerField(bytes, 0) != "xof ") raiseHeaderError(fileName, "does not start with \"xof \"");
    std::string_view version = headerField(bytes, 4);
    if (!allDigits(version)) raiseHeaderError(fileName, "version \"" + std::string(version) + "\" is not numeric");
    // The reference reader knows versions 3.2 and 3.3 only and refuses the others.
    if (version != "0302" && version != "0303")
        raiseHeaderError(fileName, "bad file version " + std::string(version) + " (0302 or 0303)");
    Header header;
    header.majorVersion = 3;
    header.minorVersion = version == "0302" ? 2 : 3;
    readFormat(headerField(bytes, 8), header, fileName);
    std::string_view floatSize = headerField(bytes, 12);
    if (floatSize == "0032")
        header.floatBits = 32;
    else if (floatSize == "0064")
        header.floatBits = 64;
    else
        raiseHeaderError(fileName, "float size \"" + std::string(floatSize) + "\" is neither 0032 nor 0064");
    return header;
}

void raiseFormatError(std::string_view fileName, const Header& header, SourcePos pos,
                      std::string_view reason) {
    std::string text(fileName);
    if (header.encoding == Encoding::Text) {
        text += ": line " + std::to_string(pos.value);
    } else {
        text += ": byte " + std::to_string(pos.value);
        if (header.compressed) text += " of the decompressed data";
    }
    text += ": ";
    text += reason;
    rt::raiseStatus(D3DXERR_INVALIDDATA, "reading .x file", text);
}

Document parse(std::span<const std::byte> bytes, std::string_view fileName) {
    const Header header = readHeader(bytes, fileName);
    ByteBuffer inflated;
    std::span<const std::byte> body = bytes.subspan(kHeaderSize);
    if (header.compressed) {
        inflated = detail::inflateMszip(bytes, fileName, header);
        body = inflated;
    }
    Document document = detail::parseBody(body, fileName, header);
    validate(document);
    return document;
}

std::vector<std::byte> readFileBytes(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) rt::raiseRuntime(rt::errc::FileNotFound, path);
    if (!std::filesystem::is_regular_file(path, error)) rt::raiseRuntime(rt::errc::PathFileAccess, path);
    std::ifstream in(path, std::ios::binary);
    if (!in) rt::raiseRuntime(rt::errc::PathFileAccess, path);
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) rt::raiseRuntime(rt::errc::PathFileAccess, path);
    in.seekg(0, std::ios::beg);
    std::vector<std::byte> bytes(static_cast<size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    if (in.gcount() != size) rt::raiseRuntime(rt::errc::PathFileAccess, path);
    return bytes;
}

Document load(const std::string& path) {
    const MappedFile file(path);
    return parse(file.bytes(), path);
}

}  // namespace xfile
