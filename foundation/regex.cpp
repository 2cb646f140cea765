#include "foundation/regex.h"

#include <algorithm>
#include <cstring>

#include "foundation/regex_program.h"

namespace cpp {

namespace {

// Far beyond what a pattern without lookaheads needs: its steps grow with
// the text times the live alternatives, which are few in practice.
std::uint64_t stepBudget(std::size_t textLength) { return 5'000'000 + 200 * static_cast<std::uint64_t>(textLength); }

bool isWordByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Instructions waiting at one text position, in priority order, each with
// its capture slots. Membership is a sparse set, so clearing costs nothing.
struct ThreadList {
    std::vector<std::int32_t> index;  // by instruction
    std::vector<std::int32_t> pcs;
    std::vector<std::int32_t> slots;
    std::size_t width = 0;

    void reset(std::size_t codeSize, std::size_t slotCount) {
        index.assign(codeSize, 0);
        pcs.clear();
        pcs.reserve(codeSize);
        width = slotCount;
        slots.assign(codeSize * std::max<std::size_t>(slotCount, 1), -1);
    }
    bool contains(std::int32_t pc) const {
        const auto i = static_cast<std::size_t>(index[pc]);
        return i < pcs.size() && pcs[i] == pc;
    }
    std::size_t add(std::int32_t pc) {
        index[pc] = static_cast<std::int32_t>(pcs.size());
        pcs.push_back(pc);
        return pcs.size() - 1;
    }
    std::int32_t* slotsOf(std::size_t i) { return slots.data() + i * width; }
};

class Machine {
public:
    Machine(const Regex::Program& program, std::string_view text, std::size_t slotCount, std::uint64_t& steps)
        : program_(program), text_(text), slotCount_(slotCount), steps_(steps), budget_(stepBudget(text.size())) {
        current_.reset(program.code.size(), slotCount);
        next_.reset(program.code.size(), slotCount);
        blank_.assign(std::max<std::size_t>(slotCount, 1), -1);
    }

    // Runs the program at `start` from `from` (only there when anchored);
    // fills `found` with the winning thread's slots. With `firstOnly` any
    // match will do, so the first one ends the run.
    bool run(std::int32_t start, std::size_t from, bool anchored, bool firstOnly, std::vector<std::int32_t>* found) {
        bool matched = false;
        current_.pcs.clear();  // a machine may run again, from where its last match ended
        next_.pcs.clear();
        const std::size_t end = text_.size();
        for (std::size_t position = from; position <= end; ++position) {
            if (!matched && (!anchored || position == from)) {
                if (current_.pcs.empty() && !anchored && !program_.canMatchAnywhere) {
                    position = skipToFirstByte(position);
                    if (position == end) break;
                }
                std::fill(blank_.begin(), blank_.end(), -1);
                addThread(current_, start, blank_.data(), position);
            }
            if (current_.pcs.empty()) break;
            next_.pcs.clear();
            for (std::size_t i = 0; i < current_.pcs.size(); ++i) {
                const RegexInst& inst = program_.code[current_.pcs[i]];
                if (inst.op == RegexOp::Match) {
                    matched = true;
                    if (found) found->assign(current_.slotsOf(i), current_.slotsOf(i) + slotCount_);
                    if (firstOnly) return true;
                    break;  // threads of lower priority lose to this match
                }
                if (position == end) continue;
                const auto c = static_cast<unsigned char>(text_[position]);
                const bool consumes = (inst.op == RegexOp::Byte && inst.byte == c) ||
                                      (inst.op == RegexOp::Set && program_.sets[inst.x][c]);
                if (consumes) addThread(next_, current_.pcs[i] + 1, current_.slotsOf(i), position + 1);
            }
            std::swap(current_, next_);
        }
        return matched;
    }

private:
    struct Pending {
        std::int32_t pc;
        std::int32_t slot;  // >= 0: restore this slot to `value` instead
        std::int32_t value;
    };

    std::size_t skipToFirstByte(std::size_t position) const {
        while (position < text_.size() && !program_.firstBytes[static_cast<unsigned char>(text_[position])]) ++position;
        return position;
    }

    // Follows the instructions that consume nothing from `pc`; the slots are
    // changed on the way and restored, so the caller's array comes back as it was.
    void addThread(ThreadList& list, std::int32_t pc, std::int32_t* slots, std::size_t position) {
        pending_.push_back({pc, -1, 0});
        while (!pending_.empty()) {
            const Pending p = pending_.back();
            pending_.pop_back();
            if (p.slot >= 0) {
                slots[p.slot] = p.value;
                continue;
            }
            if (list.contains(p.pc)) continue;
            if (++steps_ > budget_) throw Regex::BudgetException();
            const std::size_t added = list.add(p.pc);
            const RegexInst& inst = program_.code[p.pc];
            switch (inst.op) {
            case RegexOp::Jump: pending_.push_back({inst.x, -1, 0}); break;
            case RegexOp::Split:
                pending_.push_back({inst.y, -1, 0});
                pending_.push_back({inst.x, -1, 0});
                break;
            case RegexOp::Save:
                if (static_cast<std::size_t>(inst.x) < slotCount_) {
                    pending_.push_back({0, inst.x, slots[inst.x]});
                    slots[inst.x] = static_cast<std::int32_t>(position);
                }
                pending_.push_back({p.pc + 1, -1, 0});
                break;
            case RegexOp::TextStart:
                if (position == 0) pending_.push_back({p.pc + 1, -1, 0});
                break;
            case RegexOp::TextEnd:
                if (position == text_.size()) pending_.push_back({p.pc + 1, -1, 0});
                break;
            case RegexOp::WordBoundary:
            case RegexOp::NotWordBoundary: {
                const bool before = position > 0 && isWordByte(static_cast<unsigned char>(text_[position - 1]));
                const bool after = position < text_.size() && isWordByte(static_cast<unsigned char>(text_[position]));
                if ((before != after) == (inst.op == RegexOp::WordBoundary)) pending_.push_back({p.pc + 1, -1, 0});
                break;
            }
            case RegexOp::Look: {
                Machine inner(program_, text_, 0, steps_);
                if (inner.run(inst.x, position, true, true, nullptr) != inst.negative)
                    pending_.push_back({p.pc + 1, -1, 0});
                break;
            }
            case RegexOp::Byte:
            case RegexOp::Set:
            case RegexOp::Match: std::copy(slots, slots + slotCount_, list.slotsOf(added)); break;
            }
        }
    }

    const Regex::Program& program_;
    std::string_view text_;
    std::size_t slotCount_;
    std::uint64_t& steps_;
    std::uint64_t budget_;
    ThreadList current_;
    ThreadList next_;
    std::vector<std::int32_t> blank_;
    std::vector<Pending> pending_;
};

bool hasLiteral(const Regex::Program& program, std::string_view text) {
    if (!program.literal.empty() && text.find(program.literal) == std::string_view::npos) return false;
    for (const std::string& also : program.alsoContained)
        if (text.find(also) == std::string_view::npos) return false;
    return true;
}

}  // namespace

Regex::Regex(std::string_view pattern) : program_(std::make_shared<const Program>(compileRegex(pattern))) {}

const std::string& Regex::requiredBytes() const { return program_->literal; }

namespace {

std::vector<Regex::Span> spansOf(const std::vector<std::int32_t>& slots, std::size_t groups) {
    std::vector<Regex::Span> spans(groups + 1);
    for (std::size_t g = 0; g < spans.size(); ++g) {
        const std::int32_t begin = slots[2 * g];
        const std::int32_t end = slots[2 * g + 1];
        if (begin >= 0 && end >= begin) spans[g] = {begin, end - begin};
    }
    return spans;
}

}  // namespace

std::vector<Regex::Span> Regex::search(std::string_view text) const {
    if (!hasLiteral(*program_, text)) return {};
    const std::size_t slotCount = 2 * (program_->groups + 1);
    std::uint64_t steps = 0;
    Machine machine(*program_, text, slotCount, steps);
    std::vector<std::int32_t> slots;
    if (!machine.run(0, 0, false, false, &slots)) return {};
    return spansOf(slots, program_->groups);
}

void Regex::forEachMatch(std::string_view text, const std::function<void(const std::vector<Span>&)>& each) const {
    if (!hasLiteral(*program_, text)) return;
    const std::size_t slotCount = 2 * (program_->groups + 1);
    // One machine and one step budget for the whole text: a line costs no
    // more however many matches it holds.
    std::uint64_t steps = 0;
    Machine machine(*program_, text, slotCount, steps);
    std::vector<std::int32_t> slots;
    std::size_t from = 0;
    while (from <= text.size() && machine.run(0, from, false, false, &slots)) {
        const auto begin = static_cast<std::size_t>(slots[0]);
        const auto end = static_cast<std::size_t>(slots[1]);
        each(spansOf(slots, program_->groups));
        if (end > begin) {
            from = end;
        } else {
            // After an empty match the next search starts one character on.
            from = end + 1;
            while (from < text.size() && (static_cast<unsigned char>(text[from]) & 0xC0) == 0x80) ++from;
        }
    }
}

bool Regex::contains(std::string_view text) const {
    if (!hasLiteral(*program_, text)) return false;
    std::uint64_t steps = 0;
    Machine machine(*program_, text, 0, steps);
    return machine.run(0, 0, false, true, nullptr);
}

std::size_t Regex::groupCount() const { return program_->groups; }

}  // namespace cpp
