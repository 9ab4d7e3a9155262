#include "record/LabelPattern.h"

#include <algorithm>
#include <set>
#include <utility>

#include "record/Utf8.h"

namespace {

using Step = LabelPattern::Step;
using Op = Step::Op;
using Automaton = LabelPattern::Automaton;

constexpr std::size_t kUnbounded = static_cast<std::size_t>(-1);

// The pattern as read: a tree of nodes, each by its index.
struct Node {
    enum class Kind { kEmpty, kSet, kSequence, kChoice, kRepeat, kCondition, kLook };
    Kind kind = Kind::kEmpty;
    std::vector<int> parts; // a sequence's or choice's; a repeat's one
    int set = 0;
    std::size_t min = 0;
    std::size_t max = 0;
    Op condition = Op::kStart;
    int look = 0;
    bool negated = false;
};

struct Look {
    int body = 0;
    bool behind = false;
};

bool IsDigit(char32_t c) {
    return c >= '0' && c <= '9';
}

bool IsAsciiLetter(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsWordCharacter(char32_t c) {
    return IsAsciiLetter(c) || IsDigit(c) || c == '_';
}

int HexValue(char32_t c) {
    return IsDigit(c)             ? static_cast<int>(c - '0')
           : c >= 'a' && c <= 'f' ? static_cast<int>(c - 'a' + 10)
           : c >= 'A' && c <= 'F' ? static_cast<int>(c - 'A' + 10)
                                  : -1;
}

bool IsSyntaxCharacter(char32_t c) {
    return std::u32string_view(U"^$\\.*+?()[]{}|").find(c) != std::u32string_view::npos;
}

std::optional<CodePointSet> Packed(const UnicodeTables::PackedSet* packed) {
    return packed ? std::optional<CodePointSet>(*packed) : std::nullopt;
}

// A General_Category value's characters; a group's (L, LC, M, ...) are its categories'.
std::optional<CodePointSet> GeneralCategory(std::string_view name) {
    if (const UnicodeTables::PackedSet* packed =
            CodePointSet::Named(UnicodeTables::kGeneralCategories, name)) {
        return CodePointSet(*packed);
    }
    const UnicodeTables::SetUnions& groups = UnicodeTables::kGeneralCategoryGroups;
    for (std::size_t i = 0; i < groups.count; ++i) {
        if (!CodePointSet::HasName(groups.unions[i].names, name)) {
            continue;
        }
        CodePointSet set;
        std::string_view members = groups.unions[i].members;
        while (!members.empty()) {
            const std::size_t space = std::min(members.find(' '), members.size());
            set.Add(CodePointSet(
                *CodePointSet::Named(UnicodeTables::kGeneralCategories, members.substr(0, space))));
            members.remove_prefix(std::min(space + 1, members.size()));
        }
        return set;
    }
    return std::nullopt;
}

// A script's characters with its extensions: the script's, changed where the extensions differ.
std::optional<CodePointSet> ScriptExtensions(std::string_view name) {
    const UnicodeTables::PackedSet* script = CodePointSet::Named(UnicodeTables::kScripts, name);
    if (!script) {
        return std::nullopt;
    }
    CodePointSet set(*script);
    const std::string_view names = script->names;
    if (const UnicodeTables::PackedSet* differences = CodePointSet::Named(
            UnicodeTables::kScriptExtensionsDifferences, names.substr(0, names.find(' ')))) {
        set.Toggle(CodePointSet(*differences));
    }
    return set;
}

// \d, \s, \w and their complements, as JavaScript has them without the i flag.
CodePointSet ClassEscapeSet(char32_t letter) {
    CodePointSet set;
    switch (letter | 0x20) {
    case 'd':
        set.Add('0', '9');
        break;
    case 'w':
        set.Add('0', '9'), set.Add('A', 'Z'), set.Add('a', 'z'), set.Add('_', '_');
        break;
    default: // s: white space and line terminators
        for (const char32_t c : std::u32string_view(U"\t\n\v\f\r \u00A0\u1680\u2028\u2029\u202F"
                                                    U"\u205F\u3000\uFEFF")) {
            set.Add(c, c);
        }
        set.Add(0x2000, 0x200A);
        break;
    }
    return letter >= 'a' ? set : set.Inverted();
}

// Reads a pattern as JavaScript does with the u flag, refusing what it refuses.
class Parser {
public:
    explicit Parser(std::string_view pattern) : text_(CodePoints(pattern)) {}

    bool Parse() {
        root_ = Disjunction();
        if (root_ >= 0 && position_ < text_.size()) {
            Fail("unmatched ')'");
        }
        for (const std::size_t number : numberedReferences_) {
            if (number > groups_) {
                return Fail("a backreference to no group");
            }
        }
        for (const std::u32string& name : namedReferences_) {
            if (!names_.count(name)) {
                return Fail("a backreference to no group of that name");
            }
        }
        if (!numberedReferences_.empty() || !namedReferences_.empty()) {
            error_ = "backreferences (\\1, \\k<name>) are not taken";
            refusal_ = LabelPattern::Refusal::kBackreference;
        }
        return error_.empty();
    }

    const std::string& Error() const { return error_; }
    LabelPattern::Refusal Refusal() const { return refusal_; }
    std::vector<Node>& Nodes() { return nodes_; }
    std::vector<CodePointSet>& Sets() { return sets_; }
    const std::vector<Look>& Looks() const { return looks_; }
    int Root() const { return root_; }

private:
    bool AtEnd() const { return position_ >= text_.size(); }
    char32_t Peek(std::size_t ahead = 0) const {
        return position_ + ahead < text_.size() ? text_[position_ + ahead] : 0;
    }
    bool Take(char32_t c) {
        if (AtEnd() || text_[position_] != c) {
            return false;
        }
        ++position_;
        return true;
    }
    bool Fail(const char* what) {
        if (error_.empty()) {
            error_ = std::string(what) + " at character " + std::to_string(position_ + 1);
        }
        return false;
    }
    int Failed(const char* what) {
        Fail(what);
        return -1;
    }
    int Add(Node node) {
        nodes_.push_back(std::move(node));
        return static_cast<int>(nodes_.size() - 1);
    }
    int AddSet(CodePointSet set) {
        sets_.push_back(std::move(set));
        Node node;
        node.kind = Node::Kind::kSet;
        node.set = static_cast<int>(sets_.size() - 1);
        return Add(std::move(node));
    }

    int Disjunction() {
        // The pattern itself is the first level; its groups may nest kMaxNesting deep within it.
        if (++depth_ > LabelPattern::kMaxNesting + 1) {
            if (error_.empty()) {
                refusal_ = LabelPattern::Refusal::kTooDeep;
            }
            return Failed("groups nested too deeply");
        }
        Node choice;
        choice.kind = Node::Kind::kChoice;
        do {
            const int alternative = Alternative();
            if (alternative < 0) {
                return -1;
            }
            choice.parts.push_back(alternative);
        } while (Take('|'));
        --depth_;
        return choice.parts.size() == 1 ? choice.parts[0] : Add(std::move(choice));
    }

    int Alternative() {
        Node sequence;
        sequence.kind = Node::Kind::kSequence;
        while (!AtEnd() && Peek() != '|' && Peek() != ')') {
            const int term = Term();
            if (term < 0) {
                return -1;
            }
            sequence.parts.push_back(term);
        }
        return Add(std::move(sequence));
    }

    int Condition(Op op) {
        Node node;
        node.kind = Node::Kind::kCondition;
        node.condition = op;
        return Add(std::move(node));
    }

    // An assertion, which no quantifier may follow, or an atom with its quantifier.
    int Term() {
        const std::size_t start = position_;
        int assertion = -1;
        if (Take('^')) {
            assertion = Condition(Op::kStart);
        } else if (Take('$')) {
            assertion = Condition(Op::kEnd);
        } else if (Peek() == '\\' && (Peek(1) == 'b' || Peek(1) == 'B')) {
            position_ += 2;
            assertion =
                Condition(text_[position_ - 1] == 'b' ? Op::kWordBoundary : Op::kNoWordBoundary);
        } else if (Peek() == '(' && Peek(1) == '?' &&
                   (Peek(2) == '=' || Peek(2) == '!' ||
                    (Peek(2) == '<' && (Peek(3) == '=' || Peek(3) == '!')))) {
            assertion = Lookaround();
        }
        if (assertion >= 0 && IsQuantifierStart()) {
            return Failed(text_[start] == '(' ? "a lookaround cannot be repeated"
                                              : "nothing to repeat");
        }
        if (assertion >= 0 || position_ > start) {
            return assertion;
        }
        const int atom = Atom();
        return atom < 0 ? -1 : Quantified(atom);
    }

    bool IsQuantifierStart() const {
        return Peek() == '*' || Peek() == '+' || Peek() == '?' || Peek() == '{';
    }

    int Lookaround() {
        position_ += 2;
        const bool behind = Take('<');
        const bool negated = Peek() == '!';
        ++position_;
        const int body = Disjunction();
        if (body < 0) {
            return -1;
        }
        if (!Take(')')) {
            return Failed("unterminated group");
        }
        looks_.push_back({body, behind});
        Node node;
        node.kind = Node::Kind::kLook;
        node.look = static_cast<int>(looks_.size() - 1);
        node.negated = negated;
        return Add(std::move(node));
    }

    bool Number(std::size_t& number) {
        if (!IsDigit(Peek())) {
            return false;
        }
        number = 0;
        while (IsDigit(Peek())) {
            const std::size_t digit = text_[position_++] - '0';
            number = number > (kUnbounded - digit) / 10 ? kUnbounded - 1 : number * 10 + digit;
        }
        return true;
    }

    int Quantified(int atom) {
        std::size_t min = 0;
        std::size_t max = kUnbounded;
        if (Take('*')) {
        } else if (Take('+')) {
            min = 1;
        } else if (Take('?')) {
            max = 1;
        } else if (Take('{')) {
            if (!Number(min)) {
                return Failed("incomplete quantifier");
            }
            max = min;
            if (Take(',')) {
                max = kUnbounded;
                Number(max);
            }
            if (!Take('}')) {
                return Failed("incomplete quantifier");
            }
            if (max < min) {
                return Failed("numbers out of order in {} quantifier");
            }
        } else {
            return atom;
        }
        Take('?'); // lazy or greedy, the same for a match of the whole label
        Node repeat;
        repeat.kind = Node::Kind::kRepeat;
        repeat.parts = {atom};
        repeat.min = min;
        repeat.max = max;
        return Add(std::move(repeat));
    }

    int Atom() {
        const char32_t c = Peek();
        if (c == '*' || c == '+' || c == '?') {
            return Failed("nothing to repeat");
        }
        if (c == '{' || c == '}' || c == ']') {
            return Failed("lone quantifier brackets");
        }
        ++position_;
        if (c == '.') {
            CodePointSet lineEnds;
            for (const char32_t end : {U'\n', U'\r', U'\u2028', U'\u2029'}) {
                lineEnds.Add(end, end);
            }
            return AddSet(lineEnds.Inverted());
        }
        if (c == '(') {
            return Group();
        }
        if (c == '[') {
            return Class();
        }
        if (c == '\\') {
            return AtomEscape();
        }
        return AddSet(CodePointSet::Range(c, c));
    }

    int Group() {
        if (Take('?')) {
            if (Take('<')) {
                std::u32string name;
                if (!GroupName(name)) {
                    return -1;
                }
                if (!names_.insert(name).second) {
                    return Failed("a duplicate group name");
                }
                ++groups_;
            } else if (!Take(':')) {
                return Failed("invalid group");
            }
        } else {
            ++groups_;
        }
        const int body = Disjunction();
        if (body < 0) {
            return -1;
        }
        return Take(')') ? body : Failed("unterminated group");
    }

    // A group's name after its '<', up to and with the '>'.
    bool GroupName(std::u32string& name) {
        static const CodePointSet start(
            *CodePointSet::Named(UnicodeTables::kBinaryProperties, "ID_Start"));
        static const CodePointSet part(
            *CodePointSet::Named(UnicodeTables::kBinaryProperties, "ID_Continue"));
        while (!Take('>')) {
            char32_t c = Peek();
            if (AtEnd()) {
                return Fail("invalid group name");
            }
            ++position_;
            if (c == '\\') {
                if (!Take('u') || !UnicodeEscape(c)) {
                    return Fail("invalid group name");
                }
            }
            const bool allowed =
                c == '$' || c == '_' ||
                (name.empty() ? start.Contains(c) : part.Contains(c) || c == 0x200C || c == 0x200D);
            if (!allowed) {
                return Fail("invalid group name");
            }
            name += c;
        }
        return !name.empty() || Fail("invalid group name");
    }

    // After "\u": XXXX (a surrogate pair as "\uXXXX\uXXXX" makes one character) or {X...}.
    bool UnicodeEscape(char32_t& code) {
        if (Take('{')) {
            std::size_t value = 0;
            std::size_t digits = 0;
            for (; HexValue(Peek()) >= 0; ++position_, ++digits) {
                value = std::min<std::size_t>(value * 16 + HexValue(Peek()), 0x110000);
            }
            if (digits == 0 || value > CodePointSet::kMax || !Take('}')) {
                return Fail("invalid Unicode escape");
            }
            code = static_cast<char32_t>(value);
            return true;
        }
        if (!FourHexDigits(code)) {
            return Fail("invalid Unicode escape");
        }
        char32_t trail = 0;
        const std::size_t after = position_;
        if (code >= 0xD800 && code <= 0xDBFF && Take('\\') && Take('u') && FourHexDigits(trail) &&
            trail >= 0xDC00 && trail <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (trail - 0xDC00);
        } else {
            position_ = after;
        }
        return true;
    }

    bool FourHexDigits(char32_t& code) {
        code = 0;
        for (int i = 0; i < 4; ++i) {
            if (HexValue(Peek(i)) < 0) {
                return false;
            }
            code = code * 16 + HexValue(Peek(i));
        }
        position_ += 4;
        return true;
    }

    // The character an escape stands for, after its '\': JavaScript's CharacterEscape.
    bool CharacterEscape(char32_t& code) {
        const char32_t c = Peek();
        ++position_;
        switch (c) {
        case 'f':
            code = '\f';
            return true;
        case 'n':
            code = '\n';
            return true;
        case 'r':
            code = '\r';
            return true;
        case 't':
            code = '\t';
            return true;
        case 'v':
            code = '\v';
            return true;
        case 'c':
            if (!IsAsciiLetter(Peek())) {
                return Fail("invalid control escape");
            }
            code = text_[position_++] % 32;
            return true;
        case '0':
            if (IsDigit(Peek())) {
                return Fail("invalid decimal escape");
            }
            code = 0;
            return true;
        case 'x':
            if (HexValue(Peek()) < 0 || HexValue(Peek(1)) < 0) {
                return Fail("invalid escape");
            }
            code = static_cast<char32_t>(HexValue(Peek()) * 16 + HexValue(Peek(1)));
            position_ += 2;
            return true;
        case 'u':
            return UnicodeEscape(code);
        default:
            code = c;
            return (c != 0 && (IsSyntaxCharacter(c) || c == '/')) || Fail("invalid escape");
        }
    }

    // \p{...} or \P{...} after its letter; false when it names no property JavaScript has.
    bool Property(bool negated, CodePointSet& set) {
        if (!Take('{')) {
            return Fail("invalid property name");
        }
        std::string name;
        std::string value;
        std::string* into = &name;
        while (!Take('}')) {
            const char32_t c = Peek();
            if (c == '=' && into == &name) {
                into = &value;
            } else if (IsAsciiLetter(c) || IsDigit(c) || c == '_') {
                *into += static_cast<char>(c);
            } else {
                return Fail("invalid property name");
            }
            ++position_;
        }
        std::optional<CodePointSet> found;
        if (into == &value) {
            found = name == "General_Category" || name == "gc" ? GeneralCategory(value)
                    : name == "Script" || name == "sc"
                        ? Packed(CodePointSet::Named(UnicodeTables::kScripts, value))
                    : name == "Script_Extensions" || name == "scx" ? ScriptExtensions(value)
                                                                   : std::nullopt;
        } else {
            found = GeneralCategory(name);
            found =
                found ? found : Packed(CodePointSet::Named(UnicodeTables::kBinaryProperties, name));
        }
        if (!found) {
            return Fail("invalid property name");
        }
        set = negated ? found->Inverted() : std::move(*found);
        return true;
    }

    int AtomEscape() {
        const char32_t c = Peek();
        if (c >= '1' && c <= '9') {
            std::size_t number = 0;
            Number(number);
            numberedReferences_.push_back(number);
            return Add(Node());
        }
        if (c == 'k') {
            ++position_;
            std::u32string name;
            if (!Take('<') || !GroupName(name)) {
                return Failed("invalid named reference");
            }
            namedReferences_.push_back(name);
            return Add(Node());
        }
        CodePointSet set;
        bool isClass = false;
        char32_t code = 0;
        if (!Escape(false, set, isClass, code)) {
            return -1;
        }
        return AddSet(std::move(set));
    }

    // An escape after its '\': a class (\d, \p{L}) or one character (\n, \u{41}, \.), either
    // way as `set`; the character also as `code`. In a class, \b is the backspace and \- a dash.
    bool Escape(bool inClass, CodePointSet& set, bool& isClass, char32_t& code) {
        const char32_t c = Peek();
        if (AtEnd()) {
            return Fail("\\ at the end of the pattern");
        }
        isClass = std::u32string_view(U"dDsSwWpP").find(c) != std::u32string_view::npos;
        if (isClass) {
            ++position_;
            if (c == 'p' || c == 'P') {
                return Property(c == 'P', set);
            }
            set = ClassEscapeSet(c);
            return true;
        }
        if (inClass && (c == 'b' || c == '-')) {
            ++position_;
            code = c == 'b' ? 0x08 : '-';
        } else if (!CharacterEscape(code)) {
            return false;
        }
        set = CodePointSet::Range(code, code);
        return true;
    }

    // One member of a class: a character, also as `code`, or a class escape (`isClass`).
    bool ClassAtom(CodePointSet& set, bool& isClass, char32_t& code) {
        if (AtEnd()) {
            return Fail("unterminated character class");
        }
        code = text_[position_++];
        if (code == '\\') {
            return Escape(true, set, isClass, code);
        }
        isClass = false;
        set = CodePointSet::Range(code, code);
        return true;
    }

    int Class() {
        const bool negated = Take('^');
        CodePointSet members;
        while (!Take(']')) {
            CodePointSet first;
            bool firstIsClass = false;
            char32_t from = 0;
            if (!ClassAtom(first, firstIsClass, from)) {
                return -1;
            }
            if (Peek() == '-' && Peek(1) != ']' && position_ + 1 < text_.size()) {
                ++position_;
                CodePointSet second;
                bool secondIsClass = false;
                char32_t to = 0;
                if (!ClassAtom(second, secondIsClass, to)) {
                    return -1;
                }
                if (firstIsClass || secondIsClass) {
                    return Failed("invalid character class");
                }
                if (to < from) {
                    return Failed("range out of order in character class");
                }
                members.Add(from, to);
            } else {
                members.Add(first);
            }
        }
        return AddSet(negated ? members.Inverted() : members);
    }

    std::u32string text_;
    std::size_t position_ = 0;
    int depth_ = 0;
    std::string error_;
    LabelPattern::Refusal refusal_ = LabelPattern::Refusal::kSyntax;
    std::vector<Node> nodes_;
    std::vector<CodePointSet> sets_;
    std::vector<Look> looks_;
    int root_ = -1;
    std::size_t groups_ = 0;
    std::set<std::u32string> names_;
    std::vector<std::size_t> numberedReferences_;
    std::vector<std::u32string> namedReferences_;
};

// How many steps a node makes, at most `limit` + 1.
std::size_t StepCount(const std::vector<Node>& nodes, int index, std::size_t limit) {
    const Node& node = nodes[index];
    const auto capped = [limit](std::size_t count) { return std::min(count, limit + 1); };
    std::size_t count = 0;
    switch (node.kind) {
    case Node::Kind::kEmpty:
        return 0;
    case Node::Kind::kSet:
    case Node::Kind::kCondition:
    case Node::Kind::kLook:
        return 1;
    case Node::Kind::kSequence:
    case Node::Kind::kChoice:
        for (const int part : node.parts) {
            count = capped(count + StepCount(nodes, part, limit) + 2);
        }
        return count;
    case Node::Kind::kRepeat: {
        const std::size_t body = StepCount(nodes, node.parts[0], limit) + 1;
        const std::size_t copies = node.max == kUnbounded ? node.min + 1 : node.max;
        return copies > limit ? limit + 1 : capped(body * copies + 1);
    }
    }
    return count;
}

class Emitter {
public:
    Emitter(const std::vector<Node>& nodes, Automaton& automaton)
        : nodes_(nodes), steps_(automaton.steps), backwards_(automaton.backwards) {}

    void Emit(int index) {
        const Node& node = nodes_[index];
        switch (node.kind) {
        case Node::Kind::kEmpty:
            break;
        case Node::Kind::kSet:
            Push({Op::kCharacter, node.set, 0});
            break;
        case Node::Kind::kCondition:
            Push({node.condition, 0, 0});
            break;
        case Node::Kind::kLook:
            Push({Op::kLook, node.look, node.negated ? 1 : 0});
            break;
        case Node::Kind::kSequence:
            if (backwards_) {
                std::for_each(node.parts.rbegin(), node.parts.rend(), [this](int p) { Emit(p); });
            } else {
                std::for_each(node.parts.begin(), node.parts.end(), [this](int p) { Emit(p); });
            }
            break;
        case Node::Kind::kChoice: {
            std::vector<int> jumps;
            for (std::size_t i = 0; i + 1 < node.parts.size(); ++i) {
                const int fork = Push({Op::kFork, 0, 0});
                steps_[fork].a = fork + 1;
                Emit(node.parts[i]);
                jumps.push_back(Push({Op::kJump, 0, 0}));
                steps_[fork].b = Here();
            }
            Emit(node.parts.back());
            for (const int jump : jumps) {
                steps_[jump].a = Here();
            }
            break;
        }
        case Node::Kind::kRepeat:
            EmitRepeat(node);
            break;
        }
    }

private:
    int Here() const { return static_cast<int>(steps_.size()); }
    int Push(Step step) {
        steps_.push_back(step);
        return Here() - 1;
    }

    void EmitRepeat(const Node& node) {
        for (std::size_t i = 0; i < node.min; ++i) {
            Emit(node.parts[0]);
        }
        if (node.max == kUnbounded) {
            const int loop = Push({Op::kFork, 0, 0});
            steps_[loop].a = loop + 1;
            Emit(node.parts[0]);
            Push({Op::kJump, loop, 0});
            steps_[loop].b = Here();
            return;
        }
        std::vector<int> forks;
        for (std::size_t i = node.min; i < node.max; ++i) {
            forks.push_back(Push({Op::kFork, 0, 0}));
            steps_[forks.back()].a = forks.back() + 1;
            Emit(node.parts[0]);
        }
        for (const int fork : forks) {
            steps_[fork].b = Here();
        }
    }

    const std::vector<Node>& nodes_;
    std::vector<Step>& steps_;
    bool backwards_;
};

Automaton AutomatonOf(const std::vector<Node>& nodes, int root, bool backwards) {
    Automaton automaton;
    automaton.backwards = backwards;
    Emitter(nodes, automaton).Emit(root);
    automaton.steps.push_back({Op::kMatch, 0, 0});
    return automaton;
}

// One automaton over the label's characters; the places are those between them, 0 to size.
class Runner {
public:
    Runner(const Automaton& automaton, const std::vector<CodePointSet>& sets,
           const std::u32string& text, const std::vector<std::vector<char>>& looks)
        : automaton_(automaton), sets_(sets), text_(text), looks_(looks),
          marks_(automaton.steps.size(), 0) {}

    // Where the automaton reaches its end, setting out from the first place (`everywhere`
    // false) or from each; nothing when stopped.
    std::optional<std::vector<char>> Reached(bool everywhere, const std::function<bool()>& stop) {
        constexpr std::size_t kStopEvery = 256;
        const std::size_t size = text_.size();
        const bool backwards = automaton_.backwards;
        reached_.assign(size + 1, 0);
        std::vector<int> current;
        std::vector<int> next;
        for (std::size_t k = 0; k <= size; ++k) {
            if (stop && k % kStopEvery == 0 && stop()) {
                return std::nullopt;
            }
            const std::size_t place = backwards ? size - k : k;
            if (everywhere || k == 0) {
                Follow(current, 0, place);
            }
            if (k == size || (current.empty() && !everywhere)) {
                break;
            }
            const char32_t c = text_[backwards ? place - 1 : place];
            const std::size_t to = backwards ? place - 1 : place + 1;
            next.clear();
            for (const int at : current) {
                if (sets_[automaton_.steps[at].a].Contains(c)) {
                    Follow(next, at + 1, to);
                }
            }
            std::swap(current, next);
        }
        return std::move(reached_);
    }

private:
    bool IsWordAt(std::size_t place) const {
        return place < text_.size() && IsWordCharacter(text_[place]);
    }

    bool Holds(const Step& step, std::size_t place) const {
        switch (step.op) {
        case Op::kStart:
            return place == 0;
        case Op::kEnd:
            return place == text_.size();
        case Op::kWordBoundary:
        case Op::kNoWordBoundary:
            return ((place > 0 && IsWordAt(place - 1)) != IsWordAt(place)) ==
                   (step.op == Op::kWordBoundary);
        default: // Op::kLook
            return (looks_[step.a][place] != 0) != (step.b != 0);
        }
    }

    // Adds the step at `start` to `list` at `place`, with every step it leads to that takes no
    // character, as far as their conditions hold there.
    void Follow(std::vector<int>& list, int start, std::size_t place) {
        pending_.push_back(start);
        while (!pending_.empty()) {
            const int at = pending_.back();
            pending_.pop_back();
            if (marks_[at] == place + 1) {
                continue;
            }
            marks_[at] = place + 1;
            const Step& step = automaton_.steps[at];
            switch (step.op) {
            case Op::kCharacter:
                list.push_back(at);
                break;
            case Op::kMatch:
                reached_[place] = 1;
                break;
            case Op::kJump:
                pending_.push_back(step.a);
                break;
            case Op::kFork:
                pending_.push_back(step.b);
                pending_.push_back(step.a);
                break;
            default:
                if (Holds(step, place)) {
                    pending_.push_back(at + 1);
                }
                break;
            }
        }
    }

    const Automaton& automaton_;
    const std::vector<CodePointSet>& sets_;
    const std::u32string& text_;
    const std::vector<std::vector<char>>& looks_;
    std::vector<std::size_t> marks_; // the place + 1 a step was last added at
    std::vector<int> pending_;
    std::vector<char> reached_;
};

} // namespace

std::optional<LabelPattern> LabelPattern::Compile(std::string_view pattern, std::string& error,
                                                  Refusal* refusal) {
    Parser parser(pattern);
    if (!parser.Parse()) {
        error = parser.Error();
        if (refusal) {
            *refusal = parser.Refusal();
        }
        return std::nullopt;
    }
    std::size_t steps = StepCount(parser.Nodes(), parser.Root(), kMaxSteps);
    for (const Look& look : parser.Looks()) {
        steps += StepCount(parser.Nodes(), look.body, kMaxSteps);
    }
    if (steps > kMaxSteps) {
        error = "it is too large (more than " + std::to_string(kMaxSteps) + " steps)";
        if (refusal) {
            *refusal = Refusal::kTooLarge;
        }
        return std::nullopt;
    }
    LabelPattern compiled;
    compiled.sets_ = std::move(parser.Sets());
    for (const Look& look : parser.Looks()) {
        compiled.looks_.push_back(AutomatonOf(parser.Nodes(), look.body, !look.behind));
    }
    compiled.main_ = AutomatonOf(parser.Nodes(), parser.Root(), false);
    return compiled;
}

LabelPattern::Match LabelPattern::Whole(std::string_view label,
                                        const std::function<bool()>& stop) const {
    const std::u32string text = CodePoints(label);
    std::size_t steps = main_.steps.size();
    for (const Automaton& look : looks_) {
        steps += look.steps.size();
    }
    if (text.size() > kMaxWork / steps) {
        return Match::kTooLong;
    }
    std::vector<std::vector<char>> looks;
    for (const Automaton& look : looks_) {
        std::optional<std::vector<char>> reached =
            Runner(look, sets_, text, looks).Reached(true, stop);
        if (!reached) {
            return Match::kStopped;
        }
        looks.push_back(std::move(*reached));
    }
    const std::optional<std::vector<char>> reached =
        Runner(main_, sets_, text, looks).Reached(false, stop);
    return !reached ? Match::kStopped : reached->back() ? Match::kMatches : Match::kDiffers;
}
