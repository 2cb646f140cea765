#include <algorithm>
#include <cctype>
#include <cstdint>

#include "foundation/regex_program.h"
#include "foundation/string.h"

namespace cpp {

namespace {

constexpr std::size_t maxDepth = 200;
constexpr std::size_t maxInstructions = 200000;
constexpr int maxRepeat = 1000;

using ByteSet = std::bitset<256>;

struct Node {
    enum class Kind { Empty, Byte, Set, Concat, Alternate, Repeat, Group, Assert, Look };
    Kind kind = Kind::Empty;
    unsigned char byte = 0;
    ByteSet set;
    std::vector<Node> children;
    int min = 0;
    int max = -1;  // -1: unbounded
    bool greedy = true;
    int group = -1;  // capture index from 1; -1 for (?:...)
    RegexOp assertion = RegexOp::TextStart;
    bool negative = false;
};

Node byteNode(unsigned char byte) {
    Node node;
    node.kind = Node::Kind::Byte;
    node.byte = byte;
    return node;
}

Node setNode(const ByteSet& set) {
    Node node;
    node.kind = Node::Kind::Set;
    node.set = set;
    return node;
}

Node assertNode(RegexOp assertion) {
    Node node;
    node.kind = Node::Kind::Assert;
    node.assertion = assertion;
    return node;
}

ByteSet rangeSet(unsigned char from, unsigned char to) {
    ByteSet set;
    for (unsigned c = from; c <= to; ++c) set.set(c);
    return set;
}

ByteSet digitSet() { return rangeSet('0', '9'); }
ByteSet wordSet() { return rangeSet('a', 'z') | rangeSet('A', 'Z') | digitSet() | rangeSet('_', '_'); }
ByteSet spaceSet() { return rangeSet('\t', '\r') | rangeSet(' ', ' '); }

// The class escapes \d \D \w \W \s \S; false for any other letter.
bool classEscape(unsigned char letter, ByteSet& set) {
    switch (letter) {
    case 'd': set = digitSet(); return true;
    case 'D': set = ~digitSet(); return true;
    case 'w': set = wordSet(); return true;
    case 'W': set = ~wordSet(); return true;
    case 's': set = spaceSet(); return true;
    case 'S': set = ~spaceSet(); return true;
    default: return false;
    }
}

Node utf8Node(std::uint32_t codePoint) {  // below 0x10000: \u has four digits
    std::string bytes;
    if (codePoint < 0x80) {
        bytes += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        bytes += static_cast<char>(0xC0 | (codePoint >> 6));
        bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        bytes += static_cast<char>(0xE0 | (codePoint >> 12));
        bytes += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    if (bytes.size() == 1) return byteNode(static_cast<unsigned char>(bytes[0]));
    Node sequence;
    sequence.kind = Node::Kind::Concat;
    for (char c : bytes) sequence.children.push_back(byteNode(static_cast<unsigned char>(c)));
    return sequence;
}

class Parser {
public:
    explicit Parser(std::string_view pattern) : pattern_(pattern) {}

    Node parse() {
        Node node = alternation(0);
        if (!atEnd()) fail("unmatched )");
        return node;
    }

    std::size_t groups() const { return groups_; }

private:
    [[noreturn]] void fail(const char* reason) const {
        throw Regex::Exception(String::substitute("Invalid regular expression: %", reason));
    }

    bool atEnd() const { return position_ >= pattern_.size(); }
    unsigned char peek() const { return static_cast<unsigned char>(pattern_[position_]); }
    unsigned char next() { return static_cast<unsigned char>(pattern_[position_++]); }
    bool take(char c) {
        if (atEnd() || pattern_[position_] != c) return false;
        ++position_;
        return true;
    }
    bool atQuantifier() const {
        return !atEnd() && (peek() == '*' || peek() == '+' || peek() == '?' || peek() == '{');
    }

    Node alternation(std::size_t depth) {
        if (depth > maxDepth) fail("too deeply nested");
        Node first = concatenation(depth);
        if (atEnd() || peek() != '|') return first;
        Node alternate;
        alternate.kind = Node::Kind::Alternate;
        alternate.children.push_back(std::move(first));
        while (take('|')) alternate.children.push_back(concatenation(depth));
        return alternate;
    }

    Node concatenation(std::size_t depth) {
        Node sequence;
        sequence.kind = Node::Kind::Concat;
        while (!atEnd() && peek() != '|' && peek() != ')') sequence.children.push_back(quantified(depth));
        if (sequence.children.empty()) return Node{};
        if (sequence.children.size() == 1) {
            Node only = std::move(sequence.children.front());
            return only;
        }
        return sequence;
    }

    Node quantified(std::size_t depth) {
        Node atom = this->atom(depth);
        if (!atQuantifier()) return atom;
        Node repeat;
        repeat.kind = Node::Kind::Repeat;
        switch (next()) {
        case '*': repeat.min = 0, repeat.max = -1; break;
        case '+': repeat.min = 1, repeat.max = -1; break;
        case '?': repeat.min = 0, repeat.max = 1; break;
        default: braces(repeat.min, repeat.max); break;
        }
        if (atom.kind == Node::Kind::Assert || atom.kind == Node::Kind::Look) fail("nothing to repeat");
        repeat.greedy = !take('?');
        if (atQuantifier()) fail("nothing to repeat");
        repeat.children.push_back(std::move(atom));
        return repeat;
    }

    // After "{": n}, n,} or n,m}.
    void braces(int& min, int& max) {
        if (!number(min)) fail("invalid repetition");
        max = min;
        if (take(',')) {
            max = -1;
            if (!atEnd() && peek() != '}' && !number(max)) fail("invalid repetition");
        }
        if (!take('}')) fail("invalid repetition");
        if (max != -1 && max < min) fail("invalid repetition range");
    }

    bool number(int& value) {
        const std::size_t start = position_;
        value = 0;
        while (!atEnd() && std::isdigit(peek())) {
            value = value * 10 + (next() - '0');
            if (value > maxRepeat) fail("repetition count too large");
        }
        return position_ > start;
    }

    Node atom(std::size_t depth) {
        const unsigned char c = next();
        switch (c) {
        case '(': return group(depth + 1);
        case '[': return setNode(characterClass());
        case '.': {
            ByteSet any;
            any.set();
            any.reset('\n');
            any.reset('\r');
            return setNode(any);
        }
        case '^': return assertNode(RegexOp::TextStart);
        case '$': return assertNode(RegexOp::TextEnd);
        case '\\': return escape();
        case '*':
        case '+':
        case '?':
        case '{': fail("nothing to repeat");
        default: return multiByte(c);
        }
    }

    // A whole UTF-8 character is one atom, so that a quantifier repeats it all.
    Node multiByte(unsigned char lead) {
        const std::size_t more = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 && lead < 0xF0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : 0;
        std::size_t available = 0;
        while (available < more && position_ + available < pattern_.size() &&
               (static_cast<unsigned char>(pattern_[position_ + available]) & 0xC0) == 0x80)
            ++available;
        if (more == 0 || available < more) return byteNode(lead);
        Node sequence;
        sequence.kind = Node::Kind::Concat;
        sequence.children.push_back(byteNode(lead));
        for (std::size_t i = 0; i < more; ++i) sequence.children.push_back(byteNode(next()));
        return sequence;
    }

    Node group(std::size_t depth) {
        Node node;
        node.kind = Node::Kind::Group;
        if (take('?')) {
            if (take('=')) {
                node.kind = Node::Kind::Look;
            } else if (take('!')) {
                node.kind = Node::Kind::Look;
                node.negative = true;
            } else if (!take(':')) {
                fail("invalid group");
            }
        } else {
            node.group = static_cast<int>(++groups_);
        }
        node.children.push_back(alternation(depth));
        if (!take(')')) fail("missing )");
        return node;
    }

    Node escape() {
        if (atEnd()) fail("trailing backslash");
        const unsigned char c = next();
        ByteSet set;
        if (classEscape(c, set)) return setNode(set);
        if (c == 'b') return assertNode(RegexOp::WordBoundary);
        if (c == 'B') return assertNode(RegexOp::NotWordBoundary);
        if (c >= '1' && c <= '9') fail("backreferences are not supported");
        if (c == 'x') return byteNode(static_cast<unsigned char>(hex(2)));
        if (c == 'u') return utf8Node(hex(4));
        return byteNode(escapedByte(c));
    }

    // Escapes that stand for one byte, in and out of classes.
    unsigned char escapedByte(unsigned char c) {
        switch (c) {
        case 't': return '\t';
        case 'n': return '\n';
        case 'r': return '\r';
        case 'f': return '\f';
        case 'v': return '\v';
        case '0':
            if (!atEnd() && std::isdigit(peek())) fail("invalid escape");
            return 0;
        case 'c':
            if (atEnd() || !std::isalpha(peek())) fail("invalid escape");
            return next() % 32;
        default:
            if (std::isalnum(c)) fail("invalid escape");
            return c;
        }
    }

    std::uint32_t hex(int digits) {
        std::uint32_t value = 0;
        for (int i = 0; i < digits; ++i) {
            if (atEnd() || !std::isxdigit(peek())) fail("invalid escape");
            const unsigned char d = next();
            value = value * 16 + (std::isdigit(d) ? d - '0' : (std::tolower(d) - 'a' + 10));
        }
        return value;
    }

    // One member of a class: a byte, or (for \d and the like) a set.
    bool classMember(unsigned char& byte, ByteSet& set) {
        const unsigned char c = next();
        if (c != '\\') {
            byte = c;
            return true;
        }
        if (atEnd()) fail("missing ]");
        const unsigned char e = next();
        if (classEscape(e, set)) return false;
        if (e == 'b') {
            byte = '\b';
        } else if (e == '-') {
            byte = '-';
        } else if (e == 'x') {
            byte = static_cast<unsigned char>(hex(2));
        } else if (e == 'u') {
            const std::uint32_t value = hex(4);
            if (value > 0x7F) fail("non-ASCII \\u escapes in a class are not supported");
            byte = static_cast<unsigned char>(value);
        } else {
            byte = escapedByte(e);
        }
        return true;
    }

    // After "[": members up to "]"; "[]" matches nothing and "[^]" anything.
    ByteSet characterClass() {
        const bool negate = take('^');
        ByteSet set;
        for (;;) {
            if (atEnd()) fail("missing ]");
            if (take(']')) break;
            unsigned char from = 0;
            ByteSet members;
            if (!classMember(from, members)) {
                set |= members;
                continue;
            }
            const bool range = !atEnd() && peek() == '-' && position_ + 1 < pattern_.size() &&
                               pattern_[position_ + 1] != ']';
            if (!range) {
                set.set(from);
                continue;
            }
            ++position_;
            unsigned char to = 0;
            if (!classMember(to, members)) {  // [a-\d] takes the "-" literally
                set.set(from);
                set.set('-');
                set |= members;
                continue;
            }
            if (to < from) fail("invalid range in class");
            set |= rangeSet(from, to);
        }
        return negate ? ~set : set;
    }

    std::string_view pattern_;
    std::size_t position_ = 0;
    std::size_t groups_ = 0;
};

class Compiler {
public:
    explicit Compiler(Regex::Program& program) : program_(program) {}

    void compile(const Node& node) {
        auto& code = program_.code;
        switch (node.kind) {
        case Node::Kind::Empty: break;
        case Node::Kind::Byte: emit({RegexOp::Byte, node.byte}); break;
        case Node::Kind::Set:
            program_.sets.push_back(node.set);
            emit({RegexOp::Set, 0, false, static_cast<std::int32_t>(program_.sets.size() - 1)});
            break;
        case Node::Kind::Concat:
            for (const Node& child : node.children) compile(child);
            break;
        case Node::Kind::Alternate: {
            std::vector<std::int32_t> jumps;
            for (std::size_t i = 0; i + 1 < node.children.size(); ++i) {
                const std::int32_t split = emit({RegexOp::Split});
                code[split].x = here();
                compile(node.children[i]);
                jumps.push_back(emit({RegexOp::Jump}));
                code[split].y = here();
            }
            compile(node.children.back());
            for (std::int32_t jump : jumps) code[jump].x = here();
            break;
        }
        case Node::Kind::Group:
            if (node.group > 0) emit({RegexOp::Save, 0, false, node.group * 2});
            compile(node.children.front());
            if (node.group > 0) emit({RegexOp::Save, 0, false, node.group * 2 + 1});
            break;
        case Node::Kind::Assert: emit({node.assertion}); break;
        case Node::Kind::Look: {
            const std::int32_t look = emit({RegexOp::Look, 0, node.negative});
            const std::int32_t jump = emit({RegexOp::Jump});
            code[look].x = here();
            compile(node.children.front());
            emit({RegexOp::Match});
            code[jump].x = here();
            break;
        }
        case Node::Kind::Repeat: repeat(node); break;
        }
    }

    std::int32_t emit(RegexInst inst) {
        if (program_.code.size() >= maxInstructions) throw Regex::Exception("Invalid regular expression: too large");
        program_.code.push_back(inst);
        return static_cast<std::int32_t>(program_.code.size() - 1);
    }

private:
    std::int32_t here() const { return static_cast<std::int32_t>(program_.code.size()); }

    void setSplit(std::int32_t split, std::int32_t body, std::int32_t out, bool greedy) {
        program_.code[split].x = greedy ? body : out;
        program_.code[split].y = greedy ? out : body;
    }

    void repeat(const Node& node) {
        const Node& body = node.children.front();
        for (int i = 0; i < node.min; ++i) compile(body);
        if (node.max == -1) {
            const std::int32_t split = emit({RegexOp::Split});
            compile(body);
            emit({RegexOp::Jump, 0, false, split});
            setSplit(split, split + 1, here(), node.greedy);
            return;
        }
        // x{0,3} is (x(x(x)?)?)?: skipping one optional copy skips the rest.
        std::vector<std::int32_t> splits;
        for (int i = node.min; i < node.max; ++i) {
            splits.push_back(emit({RegexOp::Split}));
            compile(body);
        }
        for (std::int32_t split : splits) setSplit(split, split + 1, here(), node.greedy);
    }

    Regex::Program& program_;
};

// The runs of bytes that every match contains, for skipping texts.
void literalRuns(const Node& node, std::string& run, std::vector<std::string>& runs) {
    const auto flush = [&] {
        if (!run.empty()) runs.push_back(run);
        run.clear();
    };
    switch (node.kind) {
    case Node::Kind::Byte: run += static_cast<char>(node.byte); break;
    case Node::Kind::Concat:
        for (const Node& child : node.children) literalRuns(child, run, runs);
        break;
    case Node::Kind::Group: literalRuns(node.children.front(), run, runs); break;
    case Node::Kind::Empty:
    case Node::Kind::Assert:
    case Node::Kind::Look: break;  // zero-width: the bytes around stay adjacent
    case Node::Kind::Repeat:
        flush();
        if (node.min >= 1) {
            literalRuns(node.children.front(), run, runs);
            flush();
        }
        break;
    default: flush(); break;
    }
}

// Which bytes can begin a match, found by following the instructions that
// consume nothing; a reachable Match means a match can begin anywhere.
void findFirstBytes(Regex::Program& program) {
    std::vector<bool> seen(program.code.size());
    std::vector<std::int32_t> pending{0};
    while (!pending.empty()) {
        const std::int32_t pc = pending.back();
        pending.pop_back();
        if (seen[pc]) continue;
        seen[pc] = true;
        const RegexInst& inst = program.code[pc];
        switch (inst.op) {
        case RegexOp::Byte: program.firstBytes.set(inst.byte); break;
        case RegexOp::Set: program.firstBytes |= program.sets[inst.x]; break;
        case RegexOp::Match: program.canMatchAnywhere = true; break;
        case RegexOp::Jump: pending.push_back(inst.x); break;
        case RegexOp::Split:
            pending.push_back(inst.x);
            pending.push_back(inst.y);
            break;
        default: pending.push_back(pc + 1); break;  // assertions only narrow the choice
        }
    }
}

}  // namespace

Regex::Program compileRegex(std::string_view pattern) {
    Parser parser(pattern);
    const Node root = parser.parse();
    Regex::Program program;
    program.groups = parser.groups();
    Compiler compiler(program);
    compiler.emit({RegexOp::Save, 0, false, 0});
    compiler.compile(root);
    compiler.emit({RegexOp::Save, 0, false, 1});
    compiler.emit({RegexOp::Match});
    std::string run;
    std::vector<std::string> runs;
    literalRuns(root, run, runs);
    if (!run.empty()) runs.push_back(run);
    // The longest is searched for first; the others, short as they may be,
    // spare the engine most lines that hold the longest alone.
    const auto longest = std::max_element(runs.begin(), runs.end(),
                                          [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
    if (longest != runs.end()) program.literal = *longest;
    for (auto r = runs.begin(); r != runs.end(); ++r)
        if (r != longest && r->size() >= 2) program.alsoContained.push_back(*r);
    findFirstBytes(program);
    return program;
}

}  // namespace cpp
