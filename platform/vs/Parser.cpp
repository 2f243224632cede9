#include "vs/Parser.h"

#include <bit>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

namespace vs {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& ch : out) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return out;
}

// A cursor over one line of text; columns count from 1.
class Cursor {
public:
    Cursor(std::string_view line, int lineNumber) : text_(line), line_(lineNumber) {}

    SourcePosition position() const { return {line_, int(pos_) + 1}; }
    void skipBlanks() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r')) ++pos_;
    }
    bool atEnd() {
        skipBlanks();
        return pos_ >= text_.size();
    }
    char peek() {
        skipBlanks();
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }
    bool accept(char ch) {
        if (peek() != ch) return false;
        ++pos_;
        return true;
    }
    void expect(char ch, const char* what) {
        if (!accept(ch)) fail(std::string("expected ") + what);
    }
    // After any blanks, the letters, digits and '_' that follow: a mnemonic, a register name
    // or a version word up to its first '.'.
    std::string_view word() {
        skipBlanks();
        const size_t start = pos_;
        while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) ++pos_;
        return text_.substr(start, pos_ - start);
    }
    std::string_view letters() {
        const size_t start = pos_;
        while (pos_ < text_.size() && std::isalpha(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        return text_.substr(start, pos_ - start);
    }
    std::string_view digits() {
        const size_t start = pos_;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        return text_.substr(start, pos_ - start);
    }
    std::string_view numberText() {
        skipBlanks();
        const size_t start = pos_;
        while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.' ||
                                       text_[pos_] == '+' || text_[pos_] == '-'))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }
    [[noreturn]] void fail(std::string reason) const { throw ParseError{position(), std::move(reason)}; }
    [[noreturn]] void failAt(SourcePosition at, std::string reason) const { throw ParseError{at, std::move(reason)}; }

private:
    std::string_view text_;
    int line_;
    size_t pos_ = 0;
};

std::string_view stripComment(std::string_view line) {
    const size_t semi = line.find(';');
    const size_t slashes = line.find("//");
    return line.substr(0, std::min(semi, slashes));
}

uint16_t parseRegisterNumber(Cursor& in, std::string_view digits, SourcePosition at) {
    if (digits.empty()) in.failAt(at, "register number missing");
    if (digits.size() > 4 || std::stoul(std::string(digits)) > kRegNumMask) in.failAt(at, "register number too large");
    return uint16_t(std::stoul(std::string(digits)));
}

// "a0.x" inside c[...]: relative addressing always goes through the x component.
void parseAddressRegister(Cursor& in) {
    const SourcePosition at = in.position();
    if (lower(in.word()) != "a0") in.failAt(at, "expected a0.x inside c[...]");
    in.expect('.', "'.x' after a0");
    if (lower(in.letters()) != "x") in.failAt(at, "only a0.x can index constants");
}

// c[a0.x], c[a0.x + n], c[n + a0.x] or c[n]
Source parseBracketedConstant(Cursor& in) {
    Source s{RegType::Const};
    in.expect('[', "'['");
    const SourcePosition at = in.position();
    if (std::isdigit(static_cast<unsigned char>(in.peek()))) {
        s.number = parseRegisterNumber(in, in.digits(), at);
        if (in.accept('+')) {
            parseAddressRegister(in);
            s.relative = true;
        }
    } else {
        parseAddressRegister(in);
        s.relative = true;
        if (in.accept('+')) {
            const SourcePosition numAt = in.position();
            in.skipBlanks();
            s.number = parseRegisterNumber(in, in.digits(), numAt);
        } else if (in.peek() == '-') {
            in.fail("negative constant offsets are not supported");
        }
    }
    in.expect(']', "']'");
    return s;
}

struct NamedRegister {
    RegType type;
    uint16_t number;
};

NamedRegister namedRegister(Cursor& in, std::string_view name, SourcePosition at) {
    const std::string n = lower(name);
    if (n == "opos") return {RegType::RastOut, uint16_t(kRastPos)};
    if (n == "ofog") return {RegType::RastOut, uint16_t(kRastFog)};
    if (n == "opts") return {RegType::RastOut, uint16_t(kRastPts)};
    const std::string_view digits = in.digits();
    if (n == "r") return {RegType::Temp, parseRegisterNumber(in, digits, at)};
    if (n == "v") return {RegType::Input, parseRegisterNumber(in, digits, at)};
    if (n == "c") return {RegType::Const, parseRegisterNumber(in, digits, at)};
    if (n == "a") return {RegType::Addr, parseRegisterNumber(in, digits, at)};
    if (n == "od") return {RegType::AttrOut, parseRegisterNumber(in, digits, at)};
    if (n == "ot") return {RegType::TexCrdOut, parseRegisterNumber(in, digits, at)};
    in.failAt(at, "unknown register '" + std::string(name) + std::string(digits) + "'");
}

Source parseRegister(Cursor& in) {
    in.skipBlanks();
    const SourcePosition at = in.position();
    const std::string_view name = in.letters();
    if (name.empty()) in.fail("expected a register");
    if (lower(name) == "c" && in.peek() == '[') return parseBracketedConstant(in);
    const NamedRegister reg = namedRegister(in, name, at);
    return Source{reg.type, reg.number};
}

int componentIndex(char ch) {
    switch (std::tolower(static_cast<unsigned char>(ch))) {
    case 'x': case 'r': return 0;
    case 'y': case 'g': return 1;
    case 'z': case 'b': return 2;
    case 'w': case 'a': return 3;
    default: return -1;
    }
}

std::vector<int> parseComponents(Cursor& in) {
    const SourcePosition at = in.position();
    const std::string_view text = in.letters();
    if (text.empty() || text.size() > 4) in.failAt(at, "expected 1 to 4 components of xyzw or rgba");
    std::vector<int> comps;
    for (char ch : text) {
        const int c = componentIndex(ch);
        if (c < 0) in.failAt(at, "'" + std::string(1, ch) + "' is not a component (xyzw or rgba)");
        comps.push_back(c);
    }
    return comps;
}

uint8_t parseSwizzle(Cursor& in) {
    const std::vector<int> comps = parseComponents(in);
    uint32_t swizzle = 0;
    for (uint32_t c = 0; c < 4; ++c) swizzle |= uint32_t(comps[std::min<size_t>(c, comps.size() - 1)]) << (2 * c);
    return uint8_t(swizzle);
}

uint8_t parseWriteMask(Cursor& in) {
    const SourcePosition at = in.position();
    const std::vector<int> comps = parseComponents(in);
    uint8_t mask = 0;
    int previous = -1;
    for (int c : comps) {
        if (c <= previous) in.failAt(at, "swizzle on a destination (write masks list xyzw in order)");
        mask |= uint8_t(1u << c);
        previous = c;
    }
    return mask;
}

Destination parseDestination(Cursor& in) {
    if (in.peek() == '-') in.fail("a destination cannot be negated");
    const Source reg = parseRegister(in);
    if (reg.relative) in.fail("a destination cannot be addressed through a0");
    Destination d{reg.type, reg.number, uint8_t(kMaskAll)};
    if (in.accept('.')) d.mask = parseWriteMask(in);
    return d;
}

Source parseSource(Cursor& in) {
    const bool negate = in.accept('-');
    Source s = parseRegister(in);
    s.negate = negate;
    if (in.accept('.')) s.swizzle = parseSwizzle(in);
    return s;
}

float parseFloat(Cursor& in) {
    in.skipBlanks();
    const SourcePosition at = in.position();
    const std::string text(in.numberText());
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size()) in.failAt(at, "expected a number");
    if (!std::isfinite(value)) in.failAt(at, "number out of range");
    return value;
}

void parseDef(Cursor& in, ParsedProgram& out) {
    in.skipBlanks();
    const SourcePosition at = in.position();
    const Source reg = parseRegister(in);
    if (reg.type != RegType::Const || reg.relative) in.failAt(at, "def needs a constant register");
    if (reg.number >= kNumConstants) in.failAt(at, "register c" + std::to_string(reg.number) + " out of range (c0-c95)");
    out.constants.push_back(constDeclToken(reg.number, 1));
    for (int i = 0; i < 4; ++i) {
        in.expect(',', "','");
        out.constants.push_back(std::bit_cast<uint32_t>(parseFloat(in)));
    }
}

// Operand 0 is the destination, 1 to 3 the sources, as in InstructionPositions.
void parseOperands(Cursor& in, Instruction& ins, InstructionPositions& pos) {
    const int first = ins.op.writes ? 0 : 1;
    const int last = ins.op.sources;
    const std::string count = "'" + std::string(ins.op.name) + "' takes " + std::to_string(last + 1 - first) + " operands";
    for (int i = first; i <= last; ++i) {
        if (i > first) in.expect(',', ("','; " + count).c_str());
        else if (in.atEnd()) in.fail(count);
        in.skipBlanks();
        pos.operands[size_t(i)] = in.position();
        if (i == 0) ins.dst = parseDestination(in);
        else ins.src[size_t(i - 1)] = parseSource(in);
    }
    if (!in.atEnd()) in.fail(in.peek() == ',' ? "too many operands" : "unexpected text after the instruction");
}

bool isVersionWord(const std::string& w) { return w == "vs" || w.rfind("vs_", 0) == 0; }

// "vs.1.1" or "vs_1_1"
uint32_t parseVersion(Cursor& in, std::string word) {
    if (word == "vs") {
        while (in.peek() == '.' || std::isdigit(static_cast<unsigned char>(in.peek()))) {
            word += in.peek() == '.' ? "." : "";
            if (!in.accept('.')) word += std::string(in.digits());
        }
    }
    if (word == "vs.1.0" || word == "vs_1_0") return kVersion10;
    if (word == "vs.1.1" || word == "vs_1_1") return kVersion11;
    in.fail("unsupported version '" + word + "' (vs.1.0 or vs.1.1)");
}

struct ParserState {
    ParsedProgram out;
    bool haveVersion = false;
    uint32_t slots = 0;  // taken by the instructions so far
    uint32_t defs = 0;   // def lines so far
};

void parseStatement(Cursor& in, ParserState& st) {
    const SourcePosition at = in.position();
    const std::string word = lower(in.word());
    if (word.empty()) in.fail("expected an instruction");
    if (isVersionWord(word)) {
        if (st.haveVersion) in.failAt(at, "a second version line");
        st.out.program.version = parseVersion(in, word);
        st.haveVersion = true;
        if (!in.atEnd()) in.fail("unexpected text after the version");
        return;
    }
    if (!st.haveVersion) in.failAt(at, "missing version line (vs.1.0 or vs.1.1) before the first instruction");
    if (word == "def") {
        if (!st.out.program.instructions.empty()) in.failAt(at, "def must come before all instructions");
        // More defs than constant registers can only define some twice; like the slot limit,
        // this stops a huge text early.
        if (++st.defs > kNumConstants)
            in.failAt(at, "more than " + std::to_string(kNumConstants) + " def lines (one per constant register)");
        parseDef(in, st.out);
        if (!in.atEnd()) in.fail("unexpected text after def");
        return;
    }
    const auto op = findOp(word);
    if (!op) in.failAt(at, "unknown instruction '" + word + "'");
    Instruction ins{*op, {}, {}};
    InstructionPositions pos{at, {}};
    parseOperands(in, ins, pos);
    st.out.program.instructions.push_back(ins);
    st.out.positions.push_back(pos);
    st.slots += op->slots;
}

}  // namespace

ParsedProgram parseProgram(std::string_view text) {
    ParserState st;
    int lineNumber = 0;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t nl = std::min(text.find('\n', start), text.size());
        Cursor in(stripComment(text.substr(start, nl - start)), ++lineNumber);
        if (!in.atEnd()) parseStatement(in, st);
        st.out.end = {lineNumber, 1};
        // The rest cannot make a valid program: findFault reports this instruction as the
        // one past the limit, and a huge text costs no more than a program of the limit.
        if (st.slots > kMaxSlots) break;
        start = nl + 1;
    }
    if (!st.haveVersion) throw ParseError{{1, 1}, "missing version line (vs.1.0 or vs.1.1)"};
    return std::move(st.out);
}

}  // namespace vs
