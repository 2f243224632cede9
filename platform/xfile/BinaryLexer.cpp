// Binary .x files: a stream of little-endian WORD tokens, some followed by a record (names,
// strings, integers, GUIDs, and lists of integers or floats).

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

}  // namespace

void BinaryLexer::fail(size_t offset, const std::string& reason) const {
    raiseFormatError(fileName_, *header_, SourcePos{static_cast<uint32_t>(offset + 16)}, reason);
}

void BinaryLexer::lexText(Tok kind, const char* what) {
    const uint32_t position = pos();
    need(4, what);
    const uint32_t length = read(4);
    if (length > left())
        fail(tokenStart_, std::string(what) + " of " + std::to_string(length) + " bytes passes the end of the file");
    set(kind, position, std::string_view(reinterpret_cast<const char*>(data_.data() + at_), length));
    at_ += length;
}

// A string ends with a separator token. Some writers store it as a DWORD rather than a WORD;
// token 0 does not exist, so a separator followed by a zero WORD is that DWORD.
void BinaryLexer::skipDwordTerminator() {
    if (left() < 4) return;
    const uint32_t next = static_cast<uint32_t>(data_[at_]) | static_cast<uint32_t>(data_[at_ + 1]) << 8 |
                          static_cast<uint32_t>(data_[at_ + 2]) << 16 | static_cast<uint32_t>(data_[at_ + 3]) << 24;
    if (next == kComma || next == kSemicolon) at_ += 4;
}

// Checks the list's length against the bytes left; its values follow as tokens.
void BinaryLexer::startList(Tok kind, size_t width, const char* noun) {
    need(4, kind == Tok::Integer ? "an integer list" : "a float list");
    const uint32_t count = read(4);
    if (count > left() / width)
        fail(tokenStart_, std::string(noun) + " list of " + std::to_string(count) + " values passes the end of the file");
    listKind_ = kind;
    listWidth_ = static_cast<uint32_t>(width);
    listLeft_ = count;
}

// Reads one token; false for a separator or an empty list, which give none.
bool BinaryLexer::lexToken(uint16_t code, size_t start) {
    const auto position = static_cast<uint32_t>(start + 16);
    switch (code) {
    case kName: lexText(Tok::Name, "a name"); return true;
    case kString:
        lexText(Tok::String, "a string");
        skipDwordTerminator();
        return true;
    case kInteger:
        need(4, "an integer");
        set(Tok::Integer, pos());
        current_.integer = read(4);
        current_.number = static_cast<double>(current_.integer);
        return true;
    case kGuid:
        need(16, "a GUID");
        set(Tok::Guid, position, std::string_view(reinterpret_cast<const char*>(data_.data() + at_), 16));
        at_ += 16;
        return true;
    case kIntegerList: startList(Tok::Integer, 4, "integer"); break;
    case kFloatList: startList(Tok::Float, floatWidth_, "float"); break;
    case kOBrace: set(Tok::OBrace, position); return true;
    case kCBrace: set(Tok::CBrace, position); return true;
    case kComma:
    case kSemicolon: return false;
    case kTemplate: set(Tok::Template, position); return true;
    default:
        if ((code >= kOParen && code <= kDot) || (code >= kFirstKeyword && code <= kLastKeyword)) {
            set(Tok::Other, position);
            return true;
        }
        fail(start, "unknown token " + std::to_string(code));
    }
    if (listLeft_ == 0) return false;
    readListValue();
    return true;
}

// A single byte left over is too short to be a token: the stream ends there.
void BinaryLexer::readToken() {
    while (left() >= 2) {
        const size_t start = tokenStart_ = at_;
        if (lexToken(static_cast<uint16_t>(read(2)), start)) return;
    }
    current_.kind = Tok::End;
    current_.pos = lastPos_;
}

}  // namespace xfile::detail
