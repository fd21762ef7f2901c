// The slow end of a run's frames: how smooth it felt, not how fast it was
// on the whole. Tools disagree on what a "1% low" is (the same frames give
// 5, 37 or an unchanged frame rate by three common formulas), so each tail
// figure carries the definition it was computed by, in words, and every
// format shows that text.
#pragma once

#include <string>
#include <vector>

#include "analysis/statistics.h"

struct TailFigureSpec {
    const char* key;          // the JSON key: "p99FrameSeconds", "low1PercentFramesPerSecond"
    const char* label;        // for people: "p99 frame time (s)"
    const char* definition;   // the formula, in words
    double share;             // of the frames in the tail: 0.01 or 0.001
    bool rate;                // a frame rate over the tail (higher is better), else a frame-time quantile
};

constexpr int tailFigureCount = 4;
extern const TailFigureSpec tailFigures[tailFigureCount];

// A tail figure of one run: a value, or why there is none.
struct TailValue {
    double value = NAN;
    std::string absent;   // empty when value holds
};

// The fewest frames a run needs for the tail to hold one frame, and for a
// bootstrap interval of it to mean something (ten frames in the tail).
long framesForTail(const TailFigureSpec& spec);
long framesForTailInterval(const TailFigureSpec& spec);

// The tail figure over one run's frame times (seconds, in any order; not a
// number left out). Frames measured as taking no time (a clock's tick is
// coarser than the frame) make a rate infinite, as they make frames/s.
TailValue tailValue(const TailFigureSpec& spec, std::vector<double> frameSeconds);

// B/A of a tail figure with its interval, by the hierarchical bootstrap the
// medians use (runs, then frames within them; per side the median of the
// runs' tail values). No interval, with the reason in `why`, when a run of
// either side has too few frames for the tail to be resampled soundly:
// the bootstrap of an extreme quantile from a handful of frames in the tail
// gives intervals far too narrow.
Interval tailRatioInterval(const TailFigureSpec& spec, const RunSamples& a, const RunSamples& b,
                           const BootstrapOptions& options, std::string& why);
