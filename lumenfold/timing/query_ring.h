// The GPU time of each swap's commands, from a ring of timer queries that is
// read without ever waiting: a query's result is taken only once the driver
// says it is there, several swaps later if need be, and a result still not
// there when its query object is needed again is given up as an overrun.
// A disjoint event (the GPU's clock disturbed) voids every result not yet
// taken, as no number read across it can be trusted. So does a result longer
// than the time since its query began: the commands cannot have taken longer
// than that, and llvmpipe answers about the time since boot for a query whose
// beginning it lost.
//
// The GL stays behind function pointers, so that a test can stand in for it.
#pragma once

#include <cstdint>

#include "timing/swap_records.h"

struct QueryCalls {
    void (*generate)(int count, unsigned* names) = nullptr;
    void (*begin)(unsigned name) = nullptr;  // starts timing the commands that follow
    void (*end)() = nullptr;
    bool (*available)(unsigned name) = nullptr;
    uint64_t (*result)(unsigned name) = nullptr;  // only once available
    bool (*disjoint)() = nullptr;  // reads and clears the flag; null where the driver has none
    long long (*now)() = nullptr;  // CLOCK_MONOTONIC, nanoseconds
};

class QueryRing {
public:
    static constexpr int slots = 8;
    // At most this many results come out of one collect() and one begin().
    static constexpr int maxResults = slots + 1;

    void start(const QueryCalls& calls);
    bool started() const { return started_; }
    bool open() const { return open_; }

    // Times the commands up to swap `swap`. Where every query object still
    // waits for its result, the oldest is given up: its overrun goes into out.
    // Returns the results written (0 or 1).
    int begin(long long swap, GpuResult* out);
    void end();
    // Ends the open query and forgets it: its swap never comes (the program
    // ends, or leaves the context).
    void abandon();
    // The results there now, oldest first, into out (room for slots);
    // returns how many. Never waits.
    int collect(GpuResult* out);

private:
    QueryCalls calls_;
    bool started_ = false;
    bool open_ = false;
    unsigned names_[slots] = {};
    long long swapOf_[slots] = {};
    long long beganAt_[slots] = {};
    int oldest_ = 0;  // the slot of the oldest query ended and not yet read
    int waiting_ = 0; // queries ended and not yet read; the open one follows them
};
