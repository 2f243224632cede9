// The four encodings of one model must carry the same names and numbers; the compressed
// container must inflate, block by block, to exactly the uncompressed file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <variant>

#include <zlib.h>

#include "Models.h"
#include "XWriter.h"

namespace datagen::test {
namespace {

// A name, an integer or a float, in file order.
using Item = std::variant<std::string, uint32_t, float>;

std::vector<Item> itemsOfText(const std::string& body) {
    std::vector<Item> items;
    std::string token;
    auto flush = [&] {
        if (token.empty()) return;
        if (token.find('.') != std::string::npos)
            items.emplace_back(std::strtof(token.c_str(), nullptr));
        else if (std::isdigit(static_cast<unsigned char>(token[0])))
            items.emplace_back(static_cast<uint32_t>(std::stoul(token)));
        else
            items.emplace_back(token);
        token.clear();
    };
    for (char c : body) {
        if (std::isspace(static_cast<unsigned char>(c)) || std::strchr(";,{}", c))
            flush();
        else
            token += c;
    }
    flush();
    return items;
}

class TokenReader {
public:
    explicit TokenReader(const std::vector<uint8_t>& b) : b_(b) {}
    bool done() const { return at_ >= b_.size(); }
    uint16_t word() { return static_cast<uint16_t>(take(2)); }
    uint32_t dword() { return static_cast<uint32_t>(take(4)); }
    std::string chars(uint32_t n) {
        if (at_ + n > b_.size()) throw std::runtime_error("name runs past the end");
        std::string s(b_.begin() + static_cast<long>(at_), b_.begin() + static_cast<long>(at_ + n));
        at_ += n;
        return s;
    }

private:
    uint64_t take(int n) {
        if (at_ + static_cast<size_t>(n) > b_.size()) throw std::runtime_error("token runs past the end");
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) v |= static_cast<uint64_t>(b_[at_++]) << (8 * i);
        return v;
    }
    const std::vector<uint8_t>& b_;
    size_t at_ = 0;
};

std::vector<Item> itemsOfBinary(const std::vector<uint8_t>& body) {
    std::vector<Item> items;
    TokenReader r(body);
    while (!r.done()) {
        uint16_t token = r.word();
        if (token == 1) {
            items.emplace_back(r.chars(r.dword()));
        } else if (token == 6 || token == 7) {
            uint32_t n = r.dword();
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t v = r.dword();
                float f;
                std::memcpy(&f, &v, 4);
                if (token == 6) items.emplace_back(v);
                else items.emplace_back(f);
            }
        } else if (token != 10 && token != 11) {
            throw std::runtime_error("unexpected token " + std::to_string(token));
        }
    }
    return items;
}

std::vector<uint8_t> inflateRaw(const uint8_t* data, size_t size, size_t expected) {
    std::vector<uint8_t> out(expected + 1);
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

uint32_t le(const std::vector<uint8_t>& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint32_t>(b.at(at + static_cast<size_t>(i))) << (8 * i);
    return v;
}

// Every block inflated on its own, as a reader without a shared window would.
std::vector<uint8_t> unpack(const std::vector<uint8_t>& file) {
    std::vector<uint8_t> out(file.begin(), file.begin() + 16);
    size_t at = 20;
    while (at < file.size()) {
        uint32_t plain = le(file, at, 2), packed = le(file, at + 2, 2);
        EXPECT_LE(plain, kCompressedBlockInput);
        EXPECT_EQ(file.at(at + 4), 'C');
        EXPECT_EQ(file.at(at + 5), 'K');
        EXPECT_LE(at + 4 + packed, file.size());
        std::vector<uint8_t> block = inflateRaw(file.data() + at + 6, packed - 2, plain);
        EXPECT_EQ(block.size(), plain);
        out.insert(out.end(), block.begin(), block.end());
        at += 4 + packed;
    }
    EXPECT_EQ(le(file, 16, 4), out.size()) << "size field counts the header too";
    return out;
}

std::string headerOf(const std::vector<uint8_t>& file) { return std::string(file.begin(), file.begin() + 16); }

TEST(XEncodings, TextAndBinaryCarryTheSameNamesAndNumbers) {
    for (const ModelFile& f : {modelFiles()[0], modelFiles()[4]}) {
        SCOPED_TRACE(f.fileName);
        Model m = f.build();
        std::vector<Item> text = itemsOfText(xTextBody(m));
        std::vector<Item> binary = itemsOfBinary(xBinaryBody(m));
        ASSERT_EQ(text.size(), binary.size());
        for (size_t i = 0; i < text.size(); ++i) ASSERT_EQ(text[i], binary[i]) << "item " << i;
        // Spot-check that the numbers are the model's: the vertex count follows the mesh name.
        EXPECT_EQ(std::get<std::string>(text[0]), "Frame");
        auto mesh = std::find(text.begin(), text.end(), Item{std::string("Mesh")});
        ASSERT_NE(mesh, text.end());
        EXPECT_EQ(std::get<uint32_t>(*(mesh + 2)), m.vertices.size());
        EXPECT_EQ(std::get<float>(*(mesh + 3)), m.vertices[0].position.x);
    }
}

TEST(XEncodings, CompressedFilesInflateBlockByBlockToThePlainOnes) {
    Model box = buildBox();
    std::vector<uint8_t> text = writeX(box, XEncoding::Text), binary = writeX(box, XEncoding::Binary);
    std::vector<uint8_t> tzip = writeX(box, XEncoding::CompressedText);
    std::vector<uint8_t> bzip = writeX(box, XEncoding::CompressedBinary);
    EXPECT_EQ(headerOf(text), "xof 0303txt 0032");
    EXPECT_EQ(headerOf(binary), "xof 0303bin 0032");
    EXPECT_EQ(headerOf(tzip), "xof 0303tzip0032");
    EXPECT_EQ(headerOf(bzip), "xof 0303bzip0032");
    std::vector<uint8_t> fromTzip = unpack(tzip), fromBzip = unpack(bzip);
    EXPECT_TRUE(std::equal(text.begin() + 16, text.end(), fromTzip.begin() + 16, fromTzip.end()));
    EXPECT_TRUE(std::equal(binary.begin() + 16, binary.end(), fromBzip.begin() + 16, fromBzip.end()));
}

// A body of several blocks, with an exact multiple of the block size as the awkward case.
TEST(XEncodings, BodiesSpanningManyBlocksSplitAtTheBlockSize) {
    static const char header[17] = "xof 0303tzip0032";
    for (size_t size : {size_t{0}, size_t{1}, kCompressedBlockInput, 3 * kCompressedBlockInput + 17}) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> body(size);
        uint32_t x = 12345;
        for (uint8_t& b : body) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 24);  // incompressible
        std::vector<uint8_t> file = compressXBody(header, body);
        std::vector<uint8_t> back = unpack(file);
        EXPECT_TRUE(std::equal(body.begin(), body.end(), back.begin() + 16, back.end()));
    }
}

}  // namespace
}  // namespace datagen::test
