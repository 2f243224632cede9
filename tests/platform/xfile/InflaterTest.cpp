// ISA-L stands in for zlib on MSZIP blocks only where it cannot change a result: on every
// compressed file we have, written every way zlib can write one, and on copies cut short or
// damaged anywhere, both inflaters give the same bytes or the same error.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

#include "XFileFixtures.h"
#include "runtime/Error.h"
#include "support/SharedData.h"
#include "xfile/Inflate.h"

namespace {

using xfile::detail::Inflater;

std::string outcome(std::span<const std::byte> file, Inflater inflater) {
    try {
        const xfile::ByteBuffer body =
            xfile::detail::inflateMszip(file, "z.x", xfile::readHeader(file, "z.x"), inflater);
        return std::string(reinterpret_cast<const char*>(body.data()), body.size());
    } catch (const rt::Error& e) {
        return "error: " + e.text();
    }
}

void expectSameOutcome(std::span<const std::byte> file, const std::string& what) {
    const std::string zlib = outcome(file, Inflater::Zlib), isal = outcome(file, Inflater::Isal);
    if (zlib != isal)
        ADD_FAILURE() << what << ": zlib gives " << zlib.substr(0, 100) << ", ISA-L " << isal.substr(0, 100);
}

// The file, then copies of it cut short and with a byte changed: at every place of a small
// file, at 16 places of a large one.
void expectSameOutcomeDamaged(const std::vector<std::byte>& file, const std::string& name) {
    expectSameOutcome(file, name);
    const size_t step = file.size() < 4096 ? 1 : file.size() / 16;
    for (size_t at = 16; at < file.size(); at += step) {
        expectSameOutcome(std::span(file).first(at), name + " cut at " + std::to_string(at));
        for (std::byte change : {std::byte{0x01}, std::byte{0x80}, std::byte{0xFF}}) {
            std::vector<std::byte> damaged = file;
            damaged[at] ^= change;
            expectSameOutcome(damaged, name + " byte " + std::to_string(at) + " ^ " + std::to_string(int(change)));
        }
    }
}

TEST(Inflaters, AgreeOnEveryCompressedFileAndItsDamagedCopies) {
    if (!xfile::detail::IsalInflater::built()) GTEST_SKIP() << "built without ISA-L";
    SKIP_WITHOUT_SHARED("xfiles");
    std::vector<std::filesystem::path> paths;
    for (const char* dir : {CELSHADE_SOURCE_DIR "/data", CELSHADE_SHARED_DIR "/xfiles"})
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == ".x") paths.push_back(entry.path());
    int compressed = 0;
    for (const auto& path : paths) {
        const std::vector<std::byte> file = xfile::readFileBytes(path.string());
        if (file.size() < 16 || (std::string_view(reinterpret_cast<const char*>(&file[8]), 4) != "tzip" &&
                                 std::string_view(reinterpret_cast<const char*>(&file[8]), 4) != "bzip"))
            continue;
        ++compressed;
        expectSameOutcomeDamaged(file, path.filename().string());
    }
    EXPECT_GE(compressed, 6);
}

TEST(Inflaters, AgreeOnEveryWayZlibWrites) {
    if (!xfile::detail::IsalInflater::built()) GTEST_SKIP() << "built without ISA-L";
    const std::vector<std::byte> rose = xfile::readFileBytes(CELSHADE_SOURCE_DIR "/data/doom1.x");
    const std::vector<std::byte> bodies[] = {
        fixtures::binarySquare(),
        fixtures::bytesOf("xof 0303txt 0032\nMesh {\n3; 0;0;0;, 1;0;0;, 0;1;0;;\n1; 3;0,1,2;;\n}\n"),
        std::vector<std::byte>(rose.begin(), rose.begin() + 40000),
    };
    struct Settings {
        size_t blockSize;
        int level, strategy, memLevel;
    };
    const Settings settings[] = {
        {32768, 9, Z_DEFAULT_STRATEGY, 8}, {256, 6, Z_DEFAULT_STRATEGY, 8}, {4096, 0, Z_DEFAULT_STRATEGY, 8},
        {1024, 9, Z_FIXED, 8},             {2048, 1, Z_HUFFMAN_ONLY, 8},    {512, 9, Z_RLE, 8},
        {32768, 9, Z_DEFAULT_STRATEGY, 1},  // many DEFLATE blocks in each MSZIP block
    };
    for (const auto& body : bodies)
        for (const Settings& s : settings) {
            const std::string name = std::to_string(body.size()) + " bytes in blocks of " +
                                     std::to_string(s.blockSize) + ", level " + std::to_string(s.level) +
                                     ", strategy " + std::to_string(s.strategy) + ", memLevel " +
                                     std::to_string(s.memLevel);
            const auto file = fixtures::compress(body, "bzip", s.blockSize, s.level, s.strategy, s.memLevel);
            const std::string inflated(reinterpret_cast<const char*>(&body[16]), body.size() - 16);
            ASSERT_EQ(outcome(file, Inflater::Isal), inflated) << name;
            expectSameOutcomeDamaged(file, name);
        }
}

// DEFLATE bits as they are written: values from their lowest bit, Huffman codes from their highest.
class BitWriter {
public:
    BitWriter& bits(unsigned value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) put((value >> i) & 1);
        return *this;
    }
    BitWriter& code(unsigned code, unsigned length) {
        for (unsigned i = length; i-- > 0;) put((code >> i) & 1);
        return *this;
    }
    std::vector<std::byte> bytes() const { return bytes_; }

private:
    void put(unsigned bit) {
        if (count_ % 8 == 0) bytes_.push_back(std::byte{0});
        bytes_.back() |= std::byte(bit << (count_++ % 8));
    }
    std::vector<std::byte> bytes_;
    unsigned count_ = 0;
};

// One final dynamic block inflating to "AAAA": the literal code has 'A' in one bit and the end
// of block in two; with `matchLength` 2, match length 3 too, and the block is 'A' then three
// more at distance 1 (whose code has the lengths `distance`), otherwise four 'A's.
std::vector<std::byte> fourAs(unsigned matchLength, std::array<unsigned, 2> distance) {
    BitWriter w;
    w.bits(1, 1).bits(2, 2).bits(258 - 257, 5).bits(2 - 1, 5).bits(18 - 4, 4);
    for (unsigned length : {0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2}) w.bits(length, 3);
    // The code-length code: lengths 0, 1 and 2 are themselves in two bits, 3 is a run of zeros.
    auto length = [&](unsigned l) { w.code(l, 2); };
    auto zeros = [&](unsigned n) { w.code(3, 2).bits(n - 11, 7); };
    zeros(65), length(1), zeros(138), zeros(52), length(2), length(matchLength);
    length(distance[0]), length(distance[1]);
    w.code(0, 1);
    if (matchLength != 0)
        w.code(3, 2).code(0, distance[0]);
    else
        w.code(0, 1).code(0, 1).code(0, 1);
    w.code(2, 2);
    const std::vector<std::byte> deflate = w.bytes();
    const uint16_t sizes[2] = {4, static_cast<uint16_t>(deflate.size() + 2)};
    std::vector<std::byte> file = fixtures::bytesOf("xof 0303bzip0032" + std::string("\x14\0\0\0", 4) +
                                                    std::string(reinterpret_cast<const char*>(sizes), 4) + "CK");
    file.insert(file.end(), deflate.begin(), deflate.end());
    return file;
}

// ISA-L inflates data whose codes leave some bit patterns unused, as long as none turns up;
// zlib refuses such codes (but for a single code of one bit), and so must the reader.
TEST(Inflaters, RefuseIncompleteCodesAsZlibDoes) {
    const std::string corrupt =
        "error: D3DXERR_INVALIDDATA: reading .x file: z.x: byte 26: corrupt DEFLATE data in block (in the compressed file)";
    const struct {
        unsigned matchLength;
        std::array<unsigned, 2> distance;
        std::string expected;
    } cases[] = {
        {2, {1, 1}, "AAAA"},
        {2, {1, 0}, "AAAA"},  // one distance code of one bit
        {2, {2, 2}, corrupt},  // half the distance codes unused
        {0, {1, 0}, corrupt},  // a quarter of the literal codes unused
    };
    for (const auto& c : cases)
        for (Inflater inflater : {Inflater::Zlib, Inflater::Isal})
            EXPECT_EQ(outcome(fourAs(c.matchLength, c.distance), inflater), c.expected)
                << c.matchLength << " " << c.distance[0] << c.distance[1] << " " << int(inflater);
}

}  // namespace
