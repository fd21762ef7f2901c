#include "timing/swap_records.h"

#include <cmath>
#include <cstring>

void SwapSteps::rotated(double angle) {
    // s + 45 and back is exact for every whole s below 2^52.
    const double step = angle - 45.0;
    if (step >= 1 && step < 4503599627370496.0 && step == std::floor(step)) rotatedStep_ = long(step);
}

SwapSteps::Swap SwapSteps::swapped() {
    if (!opened_) return {current_, SwapKind::more};
    opened_ = false;
    current_ = rotatedStep_ > 0 ? rotatedStep_ : clears_;
    rotatedStep_ = 0;
    const SwapKind kind = current_ <= highest_ ? SwapKind::redraw : SwapKind::newStep;
    if (current_ > highest_) highest_ = current_;
    return {current_, kind};
}

namespace {

class LineText {
public:
    explicit LineText(char* out) : out_(out) {}

    LineText& text(const char* text) {
        const size_t length = strlen(text);
        memcpy(out_ + used_, text, length);
        used_ += length;
        return *this;
    }

    LineText& number(unsigned long long value) {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = char('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (count > 0) out_[used_++] = digits[--count];
        return *this;
    }

    LineText& time(long long ns) { return ns < 0 ? text("-") : number((unsigned long long)ns); }

    size_t size() const { return used_; }

private:
    char* out_;
    size_t used_ = 0;
};

const char* kindText(SwapKind kind) {
    switch (kind) {
        case SwapKind::newStep: return timing_format::kindNew;
        case SwapKind::redraw: return timing_format::kindRedraw;
        case SwapKind::more: break;
    }
    return timing_format::kindMore;
}

}  // namespace

// At most 6 + 3 * 20 + 7 + 20 + 20 + 5 separators and newline: well within the capacity.
size_t formatFrameLine(char* out, long long swap, const SwapSteps::Swap& what, long long presentNs, long long cpuNs) {
    LineText line(out);
    line.text("frame ").number((unsigned long long)swap).text(" ").number((unsigned long long)what.step).text(" ");
    line.text(kindText(what.kind)).text(" ").time(presentNs).text(" ").time(cpuNs).text("\n");
    return line.size();
}

size_t formatGpuLine(char* out, const GpuResult& result) {
    LineText line(out);
    line.text("gpu ").number((unsigned long long)result.swap).text(" ");
    switch (result.outcome) {
        case GpuOutcome::time: line.number(result.ns); break;
        case GpuOutcome::disjoint: line.text(timing_format::gpuDisjoint); break;
        case GpuOutcome::overrun: line.text(timing_format::gpuOverrun); break;
        case GpuOutcome::impossible: line.text(timing_format::gpuImpossible); break;
        case GpuOutcome::untimed: line.text(timing_format::gpuUntimed); break;
    }
    return line.text("\n").size();
}
