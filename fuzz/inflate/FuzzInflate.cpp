// zlib's and ISA-L's verdicts on the same MSZIP data must be the same bytes or the same error:
// the reader hands a block to ISA-L only where the two cannot part (xfile/Inflate.h).
//
// The input is a compressed file after its 16-byte header: the declared total, then blocks.
// Before the comparison each block's uncompressed size is set to what ISA-L alone makes of it
// (what zlib makes of it where ISA-L fails), and the total to their sum, so that a mutated block
// still claims a size one of the two inflaters gives it, and the comparison gets past the sizes
// into the DEFLATE data, where the two could part.

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "runtime/Error.h"
#include "xfile/Inflate.h"

#if CELSHADE_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace {

constexpr size_t kBlock = 32768, kWindow = 32768;

uint32_t readLE(const std::vector<std::byte>& bytes, size_t at, int width) {
    uint32_t value = 0;
    for (int i = 0; i < width; ++i) value |= std::to_integer<uint32_t>(bytes[at + i]) << (8 * i);
    return value;
}

void writeLE(std::vector<std::byte>& bytes, size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<std::byte>(value >> (8 * i));
}

// How many bytes zlib inflates `deflate` to, right or wrong, after `history`.
size_t zlibSize(std::span<const std::byte> deflate, std::span<const std::byte> history, std::byte* out) {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return 0;
    if (!history.empty())
        inflateSetDictionary(&z, reinterpret_cast<const Bytef*>(history.data()), static_cast<uInt>(history.size()));
    z.next_in = const_cast<Bytef*>(reinterpret_cast<const Bytef*>(deflate.data()));
    z.avail_in = static_cast<uInt>(deflate.size());
    z.next_out = reinterpret_cast<Bytef*>(out);
    z.avail_out = kBlock;
    inflate(&z, Z_FINISH);
    inflateEnd(&z);
    return kBlock - z.avail_out;
}

// How many bytes ISA-L inflates `deflate` to, after `history`; 0 where it fails.
size_t isalSize(std::span<const std::byte> deflate, std::span<const std::byte> history, std::byte* out) {
#if CELSHADE_ISAL
    static inflate_state state;
    isal_inflate_init(&state);
    state.hist_bits = 0;
    if (!history.empty())
        isal_inflate_set_dict(&state, const_cast<uint8_t*>(reinterpret_cast<const uint8_t*>(history.data())),
                              static_cast<uint32_t>(history.size()));
    state.next_in = const_cast<uint8_t*>(reinterpret_cast<const uint8_t*>(deflate.data()));
    state.avail_in = static_cast<uint32_t>(deflate.size());
    state.next_out = reinterpret_cast<uint8_t*>(out);
    state.avail_out = kBlock;
    if (isal_inflate(&state) == ISAL_DECOMP_OK && state.block_state == ISAL_BLOCK_FINISH)
        return kBlock - state.avail_out;
#else
    (void)deflate, (void)history, (void)out;
#endif
    return 0;
}

// Sets the sizes in `file` (a whole compressed file) as the comment at the top says.
void claimInflatedSizes(std::vector<std::byte>& file) {
    std::vector<std::byte> output;
    std::vector<std::byte> block(kBlock);
    uint32_t total = 16;
    size_t at = 20;
    for (; file.size() - at >= 6; at += 4 + readLE(file, at + 2, 2)) {
        const uint32_t packed = readLE(file, at + 2, 2);
        if (packed < 2 || packed > file.size() - at - 4) break;
        const std::span<const std::byte> deflate(&file[at + 6], packed - 2);
        const std::span<const std::byte> history(output.data() + output.size() - std::min(output.size(), kWindow),
                                                 std::min(output.size(), kWindow));
        size_t size = isalSize(deflate, history, block.data());
        if (size == 0) size = zlibSize(deflate, history, block.data());
        if (size == 0) break;
        writeLE(file, at, static_cast<uint32_t>(size), 2);
        output.insert(output.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
        total += static_cast<uint32_t>(size);
    }
    if (at > 20) writeLE(file, 16, total, 4);
}

std::string outcome(std::span<const std::byte> file, xfile::detail::Inflater inflater) {
    try {
        const xfile::ByteBuffer body =
            xfile::detail::inflateMszip(file, "fuzz.x", xfile::readHeader(file, "fuzz.x"), inflater);
        return std::string(reinterpret_cast<const char*>(body.data()), body.size());
    } catch (const rt::Error& e) {
        return "error: " + e.text();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string header = "xof 0303bzip0032";
    std::vector<std::byte> file(header.size() + size);
    std::copy_n(reinterpret_cast<const std::byte*>(header.data()), header.size(), file.begin());
    std::copy_n(reinterpret_cast<const std::byte*>(data), size,
                file.begin() + static_cast<std::ptrdiff_t>(header.size()));
    if (file.size() >= 20) claimInflatedSizes(file);
    const std::string zlib = outcome(file, xfile::detail::Inflater::Zlib);
    const std::string isal = outcome(file, xfile::detail::Inflater::Isal);
    if (zlib != isal) {
        std::fprintf(stderr, "zlib: %.200s\nISA-L: %.200s\n", zlib.c_str(), isal.c_str());
        __builtin_trap();
    }
    return 0;
}
