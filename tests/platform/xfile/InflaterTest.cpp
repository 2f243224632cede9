// ISA-L stands in for zlib on MSZIP blocks only where it cannot change a result: on every
// compressed file we have, and on copies cut short or damaged anywhere, both inflaters give the
// same bytes or the same error. Bodies written every way zlib writes them, and codes zlib
// refuses, are the seeds of fuzz/inflate, which compares the two on them and beyond.

#include <gtest/gtest.h>

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

}  // namespace
