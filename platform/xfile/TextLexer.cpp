// Text .x files: names, numbers, quoted strings, <GUID>s, braces; ',' and ';' separate
// values; "//" and "#" start comments that run to the end of the line.

#include <array>
#include <charconv>
#include <cstring>
#include <string>

#include "xfile/Lexer.h"

namespace xfile::detail {

namespace {

// Character classes, looked up per byte: the lexer's inner loops run over every character.
enum CharClass : uint8_t { kWordChar = 0, kSpace = 1, kDelimiter = 2 };

constexpr std::array<uint8_t, 256> makeClasses() {
    std::array<uint8_t, 256> classes{};
    for (char c : std::string_view(" \t\r\n\f\v,;\0", 9)) classes[static_cast<uint8_t>(c)] = kSpace;
    for (char c : std::string_view("{}<>\"[]()")) classes[static_cast<uint8_t>(c)] = kDelimiter;
    return classes;
}
constexpr std::array<uint8_t, 256> kClasses = makeClasses();

bool isSpaceOrSeparator(char c) {
    return kClasses[static_cast<uint8_t>(c)] == kSpace;
}

bool endsWord(char c) {
    return kClasses[static_cast<uint8_t>(c)] != kWordChar;
}

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool isTemplateKeyword(std::string_view word) {
    return word.size() == 8 && std::equal(word.begin(), word.end(), "template", [](char a, char b) {
               return (a | 0x20) == b;
           });
}

}  // namespace

void TextLexer::fail(const std::string& reason) const {
    raiseFormatError(fileName_, *header_, SourcePos{line_}, reason);
}

void TextLexer::skipSpaceAndComments() {
    while (at_ < text_.size()) {
        const char c = text_[at_];
        if (c == '\n') {
            ++line_;
            ++at_;
        } else if (isSpaceOrSeparator(c)) {
            ++at_;
        } else if (c == '#' || (c == '/' && peekChar(1) == '/')) {
            while (at_ < text_.size() && text_[at_] != '\n') ++at_;
        } else {
            return;
        }
    }
}

// A quoted string or a <GUID>: everything up to the closing character, lines counted.
void TextLexer::lexDelimited(char close, Tok kind, const char* what) {
    const uint32_t startLine = line_;
    const size_t start = ++at_;
    while (at_ < text_.size() && text_[at_] != close) {
        if (text_[at_] == '\n') ++line_;
        ++at_;
    }
    if (at_ >= text_.size()) {
        line_ = startLine;
        fail(std::string("unterminated ") + what);
    }
    set(kind, text_.substr(start, at_ - start));
    ++at_;
}

// Integers of up to 18 digits are exact; everything else numeric is a double.
void TextLexer::lexNumber(std::string_view word) {
    std::string_view digits = word;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    if (allDigits(digits) && digits.size() <= 18) {
        int64_t value = 0;
        std::from_chars(digits.data(), digits.data() + digits.size(), value);
        current_.integer = negative ? -value : value;
        current_.number = static_cast<double>(current_.integer);
        set(Tok::Integer, word);
        return;
    }
    double value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size()) fail("\"" + std::string(word) + "\" is not a number");
    current_.number = negative ? -value : value;
    set(Tok::Float, word);
}

void TextLexer::lexWord() {
    const size_t start = at_;
    while (at_ < text_.size() && !endsWord(text_[at_])) {
        if (text_[at_] == '/' && peekChar(1) == '/') break;
        ++at_;
    }
    const std::string_view word = text_.substr(start, at_ - start);
    const char first = word[0];
    const bool numeric = (first >= '0' && first <= '9') || first == '-' || first == '+' ||
                         (first == '.' && word.size() > 1 && word[1] >= '0' && word[1] <= '9');
    if (numeric)
        lexNumber(word);
    else if (word.find_first_not_of('.') == std::string_view::npos)
        set(Tok::Other, word);
    else if (isTemplateKeyword(word))
        set(Tok::Template, word);
    else
        set(Tok::Name, word);
}

void TextLexer::advance() {
    skipSpaceAndComments();
    current_.pos = line_;
    if (at_ >= text_.size()) {
        set(Tok::End, {});
        return;
    }
    lastPos_ = line_;
    const char c = text_[at_];
    if (c == '{' || c == '}') {
        set(c == '{' ? Tok::OBrace : Tok::CBrace, text_.substr(at_, 1));
        ++at_;
    } else if (c == '"') {
        lexDelimited('"', Tok::String, "string");
    } else if (c == '<') {
        lexDelimited('>', Tok::Guid, "GUID");
    } else if (kClasses[static_cast<uint8_t>(c)] == kDelimiter) {  // '>', brackets, parentheses
        set(Tok::Other, text_.substr(at_, 1));
        ++at_;
    } else {
        lexWord();
    }
}

}  // namespace xfile::detail
