// Binary .x files: a stream of little-endian WORD tokens, some followed by a record (names,
// strings, integers, GUIDs, and lists of integers or floats). Lists become one token per
// value, so the parser reads binary and text files alike.

#include <bit>
#include <cstring>
#include <string>

#include "xfile/Lexer.h"

namespace xfile::detail {

namespace {

enum BinaryToken : uint16_t {
    kName = 1,
    kString = 2,
    kInteger = 3,
    kGuid = 5,
    kIntegerList = 6,
    kFloatList = 7,
    kOBrace = 10,
    kCBrace = 11,
    kOParen = 12,
    kDot = 18,
    kComma = 19,
    kSemicolon = 20,
    kTemplate = 31,
    kFirstKeyword = 40,
    kLastKeyword = 52,
};

constexpr uint32_t kHeaderSize = 16;

class BinaryLexer {
public:
    BinaryLexer(std::span<const std::byte> data, std::string_view fileName, const Header& header)
        : data_(data), fileName_(fileName), header_(header) {}

    std::vector<Token> run();

private:
    [[noreturn]] void fail(size_t offset, const std::string& reason) const {
        raiseFormatError(fileName_, header_, SourcePos{static_cast<uint32_t>(offset + kHeaderSize)}, reason);
    }
    size_t left() const { return data_.size() - at_; }
    void need(size_t bytes, const char* what) const {
        if (left() < bytes) fail(at_, std::string("the file ends inside ") + what);
    }
    uint32_t read(size_t width);
    uint32_t pos() const { return static_cast<uint32_t>(at_ + kHeaderSize); }
    void lexText(Tok kind, const char* what);
    void skipDwordTerminator();
    void lexIntegerList();
    void lexFloatList();
    void lexToken(uint16_t code, size_t start);
    void push(Tok kind, uint32_t position, std::string_view text = {}) {
        tokens_.push_back(Token{kind, position, 0, 0, text});
    }

    std::span<const std::byte> data_;
    std::string_view fileName_;
    const Header& header_;
    size_t at_ = 0;
    size_t tokenStart_ = 0;  // where the token being read began, for error offsets
    std::vector<Token> tokens_;
};

uint32_t BinaryLexer::read(size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) value |= static_cast<uint32_t>(data_[at_ + i]) << (8 * i);
    at_ += width;
    return value;
}

void BinaryLexer::lexText(Tok kind, const char* what) {
    uint32_t position = pos();
    need(4, what);
    uint32_t length = read(4);
    if (length > left()) fail(tokenStart_, std::string(what) + " of " + std::to_string(length) + " bytes passes the end of the file");
    std::string_view text(reinterpret_cast<const char*>(data_.data() + at_), length);
    at_ += length;
    push(kind, position, text);
}

// A string ends with a separator token. Some writers store it as a DWORD rather than a WORD;
// token 0 does not exist, so a separator followed by a zero WORD is that DWORD.
void BinaryLexer::skipDwordTerminator() {
    if (left() < 4) return;
    uint32_t next = static_cast<uint32_t>(data_[at_]) | static_cast<uint32_t>(data_[at_ + 1]) << 8 |
                    static_cast<uint32_t>(data_[at_ + 2]) << 16 | static_cast<uint32_t>(data_[at_ + 3]) << 24;
    if (next == kComma || next == kSemicolon) at_ += 4;
}

void BinaryLexer::lexIntegerList() {
    need(4, "an integer list");
    uint32_t count = read(4);
    if (count > left() / 4) fail(tokenStart_, "integer list of " + std::to_string(count) + " values passes the end of the file");
    for (uint32_t i = 0; i < count; ++i) {
        Token token{Tok::Integer, pos(), 0, 0, {}};
        token.integer = read(4);
        token.number = static_cast<double>(token.integer);
        tokens_.push_back(token);
    }
}

// Float lists hold 4- or 8-byte values as the header's float size says.
void BinaryLexer::lexFloatList() {
    need(4, "a float list");
    uint32_t count = read(4);
    const size_t width = header_.floatBits == 64 ? 8 : 4;
    if (count > left() / width) fail(tokenStart_, "float list of " + std::to_string(count) + " values passes the end of the file");
    for (uint32_t i = 0; i < count; ++i) {
        Token token{Tok::Float, pos(), 0, 0, {}};
        if (width == 4) {
            token.number = std::bit_cast<float>(read(4));
        } else {
            uint64_t low = read(4);
            uint64_t high = read(4);
            token.number = std::bit_cast<double>(low | (high << 32));
        }
        tokens_.push_back(token);
    }
}

void BinaryLexer::lexToken(uint16_t code, size_t start) {
    uint32_t position = static_cast<uint32_t>(start + kHeaderSize);
    switch (code) {
    case kName: lexText(Tok::Name, "a name"); return;
    case kString:
        lexText(Tok::String, "a string");
        skipDwordTerminator();
        return;
    case kInteger: {
        need(4, "an integer");
        Token token{Tok::Integer, pos(), 0, 0, {}};
        token.integer = read(4);
        token.number = static_cast<double>(token.integer);
        tokens_.push_back(token);
        return;
    }
    case kGuid:
        need(16, "a GUID");
        push(Tok::Guid, position, std::string_view(reinterpret_cast<const char*>(data_.data() + at_), 16));
        at_ += 16;
        return;
    case kIntegerList: lexIntegerList(); return;
    case kFloatList: lexFloatList(); return;
    case kOBrace: push(Tok::OBrace, position); return;
    case kCBrace: push(Tok::CBrace, position); return;
    case kComma:
    case kSemicolon: return;
    case kTemplate: push(Tok::Template, position); return;
    default: break;
    }
    if ((code >= kOParen && code <= kDot) || (code >= kFirstKeyword && code <= kLastKeyword)) {
        push(Tok::Other, position);
        return;
    }
    fail(start, "unknown token " + std::to_string(code));
}

std::vector<Token> BinaryLexer::run() {
    while (at_ < data_.size()) {
        size_t start = tokenStart_ = at_;
        need(2, "a token");
        lexToken(static_cast<uint16_t>(read(2)), start);
    }
    return std::move(tokens_);
}

}  // namespace

std::vector<Token> lexBinary(std::span<const std::byte> data, std::string_view fileName,
                             const Header& header) {
    return BinaryLexer(data, fileName, header).run();
}

}  // namespace xfile::detail
