// The compressed container must split the body at the block size, an exact multiple being
// the awkward case, and inflate through the program's own reader to exactly that body.
#include <gtest/gtest.h>

#include <span>

#include "XWriter.h"
#include "xfile/Lexer.h"
#include "xfile/XFile.h"

namespace datagen::test {
namespace {

TEST(XCompression, BodiesSpanningManyBlocksInflateThroughOurReader) {
    static const char header[17] = "xof 0303tzip0032";
    for (size_t size : {size_t{0}, size_t{1}, kCompressedBlockInput, 3 * kCompressedBlockInput + 17}) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> body(size);
        uint32_t x = 12345;
        for (uint8_t& b : body) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 24);  // incompressible
        const std::vector<uint8_t> file = compressXBody(header, body);
        const auto bytes = std::as_bytes(std::span(file));
        const auto back = xfile::detail::inflateMszip(bytes, "test.x", xfile::readHeader(bytes, "test.x"));
        const auto expected = std::as_bytes(std::span(body));
        EXPECT_TRUE(std::equal(back.begin(), back.end(), expected.begin(), expected.end()));
        auto le16 = [&](size_t at) { return size_t{file.at(at)} | size_t{file.at(at + 1)} << 8; };
        size_t blocks = 0;
        for (size_t at = 20; at < file.size(); at += 4 + le16(at + 2), ++blocks)
            EXPECT_TRUE(le16(at) > 0 && le16(at) <= kCompressedBlockInput) << "block " << blocks;
        EXPECT_EQ(blocks, (size + kCompressedBlockInput - 1) / kCompressedBlockInput) << "one block per started slice";
    }
}

}  // namespace
}  // namespace datagen::test
