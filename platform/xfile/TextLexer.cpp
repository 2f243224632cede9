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

class TextLexer {
public:
    TextLexer(std::span<const std::byte> data, std::string_view fileName, const Header& header)
        : text_(reinterpret_cast<const char*>(data.data()), data.size()), fileName_(fileName),
          header_(header) {}

    std::vector<Token> run();

private:
    [[noreturn]] void fail(const std::string& reason) const {
        raiseFormatError(fileName_, header_, SourcePos{line_}, reason);
    }
    char peek(size_t ahead = 0) const { return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0'; }
    void skipSpaceAndComments();
    void lexDelimited(char close, Tok kind, const char* what);
    void lexWord();
    void pushNumber(std::string_view word);
    void push(Tok kind, std::string_view text) { tokens_.push_back(Token{kind, line_, 0, 0, text}); }

    std::string_view text_;
    std::string_view fileName_;
    const Header& header_;
    size_t at_ = 0;
    uint32_t line_ = 1;
    std::vector<Token> tokens_;
};

void TextLexer::skipSpaceAndComments() {
    while (at_ < text_.size()) {
        char c = text_[at_];
        if (c == '\n') {
            ++line_;
            ++at_;
        } else if (isSpaceOrSeparator(c)) {
            ++at_;
        } else if (c == '#' || (c == '/' && peek(1) == '/')) {
            while (at_ < text_.size() && text_[at_] != '\n') ++at_;
        } else {
            return;
        }
    }
}

// A quoted string or a <GUID>: everything up to the closing character, lines counted.
void TextLexer::lexDelimited(char close, Tok kind, const char* what) {
    uint32_t startLine = line_;
    size_t start = ++at_;
    while (at_ < text_.size() && text_[at_] != close) {
        if (text_[at_] == '\n') ++line_;
        ++at_;
    }
    if (at_ >= text_.size()) {
        line_ = startLine;
        fail(std::string("unterminated ") + what);
    }
    tokens_.push_back(Token{kind, startLine, 0, 0, text_.substr(start, at_ - start)});
    ++at_;
}

void TextLexer::pushNumber(std::string_view word) {
    Token token{Tok::Integer, line_, 0, 0, word};
    std::string_view digits = word;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    if (allDigits(digits) && digits.size() <= 18) {
        std::from_chars(digits.data(), digits.data() + digits.size(), token.integer);
        if (negative) token.integer = -token.integer;
        token.number = static_cast<double>(token.integer);
        tokens_.push_back(token);
        return;
    }
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), token.number);
    if (ec != std::errc() || end != digits.data() + digits.size())
        fail("\"" + std::string(word) + "\" is not a number");
    if (negative) token.number = -token.number;
    token.kind = Tok::Float;
    tokens_.push_back(token);
}

void TextLexer::lexWord() {
    size_t start = at_;
    while (at_ < text_.size() && !endsWord(text_[at_])) {
        if (text_[at_] == '/' && peek(1) == '/') break;
        ++at_;
    }
    std::string_view word = text_.substr(start, at_ - start);
    char first = word[0];
    bool numeric = (first >= '0' && first <= '9') || first == '-' || first == '+' ||
                   (first == '.' && word.size() > 1 && word[1] >= '0' && word[1] <= '9');
    if (numeric) {
        pushNumber(word);
    } else if (word.find_first_not_of('.') == std::string_view::npos) {
        push(Tok::Other, word);
    } else if (word.size() == 8 && (word[0] == 't' || word[0] == 'T') &&
               std::equal(word.begin(), word.end(), "template", [](char a, char b) {
                   return (a | 0x20) == b;
               })) {
        push(Tok::Template, word);
    } else {
        push(Tok::Name, word);
    }
}

std::vector<Token> TextLexer::run() {
    tokens_.reserve(text_.size() / 8);  // typical density; sized by bytes actually present
    for (;;) {
        skipSpaceAndComments();
        if (at_ >= text_.size()) return std::move(tokens_);
        char c = text_[at_];
        if (c == '{' || c == '}') {
            push(c == '{' ? Tok::OBrace : Tok::CBrace, text_.substr(at_, 1));
            ++at_;
        } else if (c == '"') {
            lexDelimited('"', Tok::String, "string");
        } else if (c == '<') {
            lexDelimited('>', Tok::Guid, "GUID");
        } else if (std::strchr(">[]()", c) != nullptr) {
            push(Tok::Other, text_.substr(at_, 1));
            ++at_;
        } else {
            lexWord();
        }
    }
}

}  // namespace

std::vector<Token> lexText(std::span<const std::byte> data, std::string_view fileName,
                           const Header& header) {
    return TextLexer(data, fileName, header).run();
}

}  // namespace xfile::detail
