// MSZIP, as compressed .x files use it: after the 16-byte header a DWORD gives the size of
// the whole decompressed file (header included); then blocks of WORD uncompressed size,
// WORD compressed size (counting the "CK" signature) and the block itself: "CK" and raw
// DEFLATE data. A block may refer back into the previous blocks' output, so each block is
// inflated with the last 32 KB of output as its dictionary. The output goes into one buffer
// sized from the header, once the size is plausible for the bytes that are to produce it.
// Each block goes to ISA-L when it can (Inflate.h), to zlib otherwise or when ISA-L fails.

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "xfile/Inflate.h"
#include "xfile/Lexer.h"

namespace xfile::detail {

namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kMaxBlockOutput = 32768;
constexpr size_t kWindow = 32768;
// Refuse declared sizes beyond any model this program can show, before inflating anything.
constexpr uint32_t kMaxDecompressedSize = 256u << 20;
// The fewest bytes a block takes in the file: its two sizes, "CK" and one byte of DEFLATE data.
constexpr size_t kMinBlockBytes = 7;

uint32_t readLE(std::span<const std::byte> bytes, size_t offset, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i)
        value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

class BlockReader {
public:
    BlockReader(std::span<const std::byte> file, std::string_view fileName, const Header& header, Inflater inflater)
        : file_(file),
          fileName_(fileName),
          header_(header),
          useIsal_(inflater == Inflater::Isal && IsalInflater::built()) {}

    ByteBuffer run();

private:
    [[noreturn]] void fail(size_t offset, const std::string& reason) const {
        // Offsets here are in the compressed file itself; say so, since the header says "compressed".
        raiseFormatError(fileName_, Header{header_.majorVersion, header_.minorVersion, Encoding::Binary,
                                           false, header_.floatBits},
                         SourcePos{static_cast<uint32_t>(offset)}, reason + " (in the compressed file)");
    }
    void inflateBlock(size_t offset, uint32_t compressedSize, uint32_t expectedSize);

    std::span<const std::byte> file_;
    std::string_view fileName_;
    Header header_;
    bool useIsal_;
    IsalInflater isal_;
    ByteBuffer output_;
    size_t produced_ = 0;
};

ByteBuffer BlockReader::run() {
    if (file_.size() < kHeaderSize + 4) fail(file_.size(), "the file ends before the decompressed size");
    uint32_t declared = readLE(file_, kHeaderSize, 4);
    const size_t maxBlocks = (file_.size() - kHeaderSize - 4) / kMinBlockBytes;
    if (declared < kHeaderSize || declared > kMaxDecompressedSize || declared - kHeaderSize > maxBlocks * kMaxBlockOutput)
        fail(kHeaderSize, "implausible decompressed size " + std::to_string(declared));
    const size_t expected = declared - kHeaderSize;
    output_ = ByteBuffer(expected);
    size_t offset = kHeaderSize + 4;
    while (produced_ < expected) {
        if (file_.size() - offset < 4) fail(offset, "the file ends before block header");
        uint32_t blockSize = readLE(file_, offset, 2);
        uint32_t compressedSize = readLE(file_, offset + 2, 2);
        if (blockSize == 0 || blockSize > kMaxBlockOutput)
            fail(offset, "block size " + std::to_string(blockSize) + " is not 1 to 32768");
        if (blockSize > expected - produced_)
            fail(offset, "blocks inflate past the declared size " + std::to_string(declared));
        offset += 4;
        if (compressedSize < 2 || compressedSize > file_.size() - offset)
            fail(offset, "compressed block of " + std::to_string(compressedSize) + " bytes does not fit the file");
        if (file_[offset] != std::byte{'C'} || file_[offset + 1] != std::byte{'K'})
            fail(offset, "block does not start with the \"CK\" signature");
        inflateBlock(offset + 2, compressedSize - 2, blockSize);
        offset += compressedSize;
    }
    return std::move(output_);
}

void BlockReader::inflateBlock(size_t offset, uint32_t compressedSize, uint32_t expectedSize) {
    const size_t history = std::min(produced_, kWindow);
    const std::span<std::byte> out(output_.data() + produced_, expectedSize);
    if (useIsal_ && isal_.inflate(file_.subspan(offset, compressedSize), out, history)) {
        produced_ += expectedSize;
        return;
    }
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) fail(offset, "cannot start inflating");
    if (history > 0)
        inflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(output_.data() + produced_ - history),
                             static_cast<uInt>(history));
    const size_t start = produced_;
    stream.next_in = const_cast<Bytef*>(reinterpret_cast<const Bytef*>(file_.data() + offset));
    stream.avail_in = compressedSize;
    stream.next_out = reinterpret_cast<Bytef*>(output_.data() + start);
    stream.avail_out = expectedSize;
    int status = inflate(&stream, Z_FINISH);
    size_t produced = expectedSize - stream.avail_out;
    inflateEnd(&stream);
    if (status != Z_STREAM_END && !(status == Z_BUF_ERROR && stream.avail_out == 0 && stream.avail_in == 0))
        fail(offset, "corrupt DEFLATE data in block");
    if (produced != expectedSize)
        fail(offset, "block inflates to " + std::to_string(produced) + " bytes, its header says " +
                         std::to_string(expectedSize));
    produced_ += produced;
}

}  // namespace

ByteBuffer inflateMszip(std::span<const std::byte> file, std::string_view fileName, const Header& header,
                        Inflater inflater) {
    return BlockReader(file, fileName, header, inflater).run();
}

ByteBuffer inflateMszip(std::span<const std::byte> file, std::string_view fileName, const Header& header) {
    return inflateMszip(file, fileName, header, Inflater::Isal);
}

}  // namespace xfile::detail
