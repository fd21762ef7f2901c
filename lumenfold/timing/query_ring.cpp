#include "timing/query_ring.h"

void QueryRing::start(const QueryCalls& calls) {
    calls_ = calls;
    calls_.generate(slots, names_);
    started_ = true;
}

int QueryRing::begin(long long swap, GpuResult* out) {
    if (!started_ || open_) return 0;
    int given = 0;
    if (waiting_ == slots) {
        out[given++] = {swapOf_[oldest_], GpuOutcome::overrun, 0};
        oldest_ = (oldest_ + 1) % slots;
        --waiting_;
    }
    // Beginning a query drops whatever result it still held.
    const int slot = (oldest_ + waiting_) % slots;
    swapOf_[slot] = swap;
    beganAt_[slot] = calls_.now();
    calls_.begin(names_[slot]);
    open_ = true;
    return given;
}

void QueryRing::end() {
    if (!open_) return;
    calls_.end();
    open_ = false;
    ++waiting_;
}

void QueryRing::abandon() {
    if (!open_) return;
    calls_.end();
    open_ = false;
}

int QueryRing::collect(GpuResult* out) {
    if (open_ || waiting_ == 0) return 0;
    // Results come in the order the queries ended: the first not there ends the run.
    int ready = 0;
    while (ready < waiting_ && calls_.available(names_[(oldest_ + ready) % slots])) ++ready;
    // Both after the availability, so that they cover every result read now.
    const bool disjoint = calls_.disjoint != nullptr && calls_.disjoint();
    const long long now = calls_.now();
    const int given = disjoint ? waiting_ : ready;
    for (int i = 0; i < given; ++i) {
        const int slot = (oldest_ + i) % slots;
        out[i] = {swapOf_[slot], GpuOutcome::disjoint, 0};
        if (disjoint) continue;
        const uint64_t ns = calls_.result(names_[slot]);
        const bool possible = now >= beganAt_[slot] && ns <= uint64_t(now - beganAt_[slot]);
        out[i] = {swapOf_[slot], possible ? GpuOutcome::time : GpuOutcome::impossible, possible ? ns : 0};
    }
    oldest_ = (oldest_ + given) % slots;
    waiting_ -= given;
    return given;
}
