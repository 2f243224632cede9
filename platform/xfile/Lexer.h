#pragma once
// Tokens of both encodings, read one at a time straight from the bytes, so one parser reads
// both. Separators (',' and ';') are dropped: exporters disagree on them (";," after a last
// vertex, doubled or missing ones) and the member counts of each data object already say
// where values end.
//
// A lexer always holds the next token (kind End past the last one). A fault in the bytes
// raises at once.

#include <bit>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "xfile/Buffer.h"
#include "xfile/XFile.h"

namespace xfile::detail {

enum class Tok : uint8_t {
    Name,
    String,
    Integer,
    Float,
    Guid,
    OBrace,
    CBrace,
    Template,
    Other,  // template syntax: brackets, dots, type keywords
    End,
};

struct Token {
    Tok kind = Tok::End;
    uint32_t pos = 0;        // line (text) or byte offset (binary)
    int64_t integer = 0;     // Integer
    double number = 0;       // Integer and Float
    std::string_view text;   // Name, String, Guid, and the lexeme of numbers in text
};

// Text: positions are lines from 1. `data` is the stream after the 16-byte header.
class TextLexer {
public:
    TextLexer(std::span<const std::byte> data, std::string_view fileName, const Header& header)
        : text_(reinterpret_cast<const char*>(data.data()), data.size()), fileName_(fileName), header_(&header) {
        advance();
    }

    const Token& peek() const { return current_; }
    void advance();
    // Where the last token read so far starts (1 before any): at the end, the file's last token.
    uint32_t lastPos() const { return lastPos_; }
    // At least the number of tokens from the current one to the end: every token takes a byte.
    uint64_t tokenBound() const { return (current_.kind != Tok::End) + (text_.size() - at_); }
    // Values taken in bulk: none in text, where every number is a word of its own.
    size_t takeFloats(std::byte*, size_t) { return 0; }
    size_t intsAhead() const { return 0; }
    uint32_t intAhead(size_t) const { return 0; }
    void skipAhead(size_t) {}

private:
    [[noreturn]] void fail(const std::string& reason) const;
    char peekChar(size_t ahead) const { return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0'; }
    void skipSpaceAndComments();
    void lexDelimited(char close, Tok kind, const char* what);
    void lexWord();
    void lexNumber(std::string_view word);
    void set(Tok kind, std::string_view text) {
        current_.kind = kind;
        current_.text = text;
    }

    std::string_view text_;
    std::string_view fileName_;
    const Header* header_;
    size_t at_ = 0;
    uint32_t line_ = 1;
    uint32_t lastPos_ = 1;
    Token current_;
};

// Binary: positions are byte offsets from the start of the file (header included). Lists of
// integers or floats give one token per value.
class BinaryLexer {
public:
    BinaryLexer(std::span<const std::byte> data, std::string_view fileName, const Header& header)
        : data_(data), fileName_(fileName), header_(&header), floatWidth_(header.floatBits == 64 ? 8 : 4) {
        advance();
    }

    const Token& peek() const { return current_; }
    void advance() {
        if (listLeft_ > 0)
            readListValue();
        else
            readToken();
    }
    uint32_t lastPos() const { return lastPos_; }
    // Values left in the current list, then at most one token per two bytes.
    uint64_t tokenBound() const {
        const size_t listBytes = size_t{listLeft_} * listWidth_;
        return (current_.kind != Tok::End) + listLeft_ + (data_.size() - at_ - listBytes) / 2;
    }
    // The current token and the values after it in its list of 4-byte floats, up to `count`
    // and up to the first that is not finite (left for an error), copied to `out`; how many.
    size_t takeFloats(std::byte* out, size_t count);
    // Integers from the current token on, as far as its list goes (0: the current token is not
    // an integer); the i-th of them; and passing the first n of them.
    size_t intsAhead() const {
        if (current_.kind != Tok::Integer) return 0;
        return 1 + (listKind_ == Tok::Integer ? listLeft_ : 0);
    }
    uint32_t intAhead(size_t i) const {
        if (i == 0) return static_cast<uint32_t>(current_.integer);
        uint32_t value;
        std::memcpy(&value, data_.data() + at_ + 4 * (i - 1), 4);
        return value;
    }
    void skipAhead(size_t n) {
        at_ += 4 * (n - 1);
        listLeft_ -= static_cast<uint32_t>(n - 1);
        advance();
    }

private:
    [[noreturn]] void fail(size_t offset, const std::string& reason) const;
    size_t left() const { return data_.size() - at_; }
    void need(size_t bytes, const char* what) const {
        if (left() < bytes) fail(at_, std::string("the file ends inside ") + what);
    }
    uint32_t read(size_t width) {
        uint32_t value = 0;
        for (size_t i = 0; i < width; ++i) value |= static_cast<uint32_t>(data_[at_ + i]) << (8 * i);
        at_ += width;
        return value;
    }
    uint32_t pos() const { return static_cast<uint32_t>(at_ + 16); }
    void readListValue();
    void readToken();
    bool lexToken(uint16_t code, size_t start);
    void lexText(Tok kind, const char* what);
    void skipDwordTerminator();
    void startList(Tok kind, size_t width, const char* noun);
    void set(Tok kind, uint32_t position, std::string_view text = {}) {
        current_.kind = kind;
        current_.pos = lastPos_ = position;
        current_.text = text;
    }

    std::span<const std::byte> data_;
    std::string_view fileName_;
    const Header* header_;
    size_t floatWidth_;
    size_t at_ = 0;
    size_t tokenStart_ = 0;  // where the token being read began, for error offsets
    uint32_t listLeft_ = 0;
    uint32_t listWidth_ = 4;
    Tok listKind_ = Tok::Integer;
    uint32_t lastPos_ = 1;
    Token current_;
};

inline void BinaryLexer::readListValue() {
    --listLeft_;
    current_.kind = listKind_;
    current_.pos = lastPos_ = pos();
    current_.text = {};
    if (listKind_ == Tok::Integer) {
        current_.integer = read(4);
        current_.number = static_cast<double>(current_.integer);
    } else if (listWidth_ == 4) {
        current_.number = std::bit_cast<float>(read(4));
    } else {
        const uint64_t low = read(4), high = read(4);
        current_.number = std::bit_cast<double>(low | high << 32);
    }
}

inline size_t BinaryLexer::takeFloats(std::byte* out, size_t count) {
    if (current_.kind != Tok::Float || listWidth_ != 4 || count == 0 || !std::isfinite(current_.number)) return 0;
    const auto first = static_cast<float>(current_.number);
    std::memcpy(out, &first, 4);
    size_t more = std::min<size_t>(count - 1, listLeft_);
    std::memcpy(out + 4, data_.data() + at_, 4 * more);
    for (size_t i = 0; i < more; ++i) {
        uint32_t bits;
        std::memcpy(&bits, data_.data() + at_ + 4 * i, 4);
        if ((bits & 0x7F800000u) == 0x7F800000u) {  // infinite or NaN: stop before it
            more = i;
            break;
        }
    }
    at_ += 4 * more;
    listLeft_ -= static_cast<uint32_t>(more);
    advance();
    return 1 + more;
}

// Inflates the MSZIP blocks that follow the header of a compressed file into one buffer sized
// from the header; the result is the stream after the header, decompressed.
ByteBuffer inflateMszip(std::span<const std::byte> file, std::string_view fileName, const Header& header);

}  // namespace xfile::detail

namespace xfile::detail {

// Parses the stream after the header (decompressed) into data objects; validation follows.
Document parseBody(std::span<const std::byte> body, std::string_view fileName, const Header& header);

}  // namespace xfile::detail
