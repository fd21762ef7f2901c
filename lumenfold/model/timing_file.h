// The file the timing library writes inside a program (LUMENFOLD_TIMING_FILE),
// and what it says about each of the program's frames.
//
// The library writes as the program runs, one whole line per write, so that
// a run that is killed keeps every line written before:
//
//   lumenfold-timing 1
//   columns frame swap step kind present_ns cpu_ns
//   columns gpu swap gpu_ns
//   gpu available GL_ARB_timer_query GL_TIME_ELAPSED       (or: gpu unavailable <why>)
//   frame 1 1 new 10483211 20411000
//   frame 2 2 new 9843310 19822312
//   gpu 1 7120533
//   gpu 2 disjoint
//   ...
//
// A "frame" line stands for one buffer swap: its index from 1, the step the
// program drew (0 when unknown), its kind, the nanoseconds since the swap
// before (CLOCK_MONOTONIC) and the process's CPU time over the same span
// (CLOCK_PROCESS_CPUTIME_ID), "-" where there was no span to measure.
// The kinds: "new" opens the first drawing of a step, "redraw" opens another
// drawing of a step already drawn (an expose), "more" is a swap that follows
// no clear and so continues the drawing before it (streaming's kernel blocks).
// The GPU time of a swap's commands arrives several swaps later, on a "gpu"
// line of its own: nanoseconds, or "disjoint" (the GPU's clock was disturbed,
// so no number is right), "overrun" (still not ready when its query object
// was needed again), "impossible" (longer than the time since its query
// began: the driver's answer is wrong) or "untimed" (no query ran over it:
// the program had left the GL context the queries belong to). A swap whose "gpu" line never came was not read back
// before the program ended.
#pragma once

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "model/results_file.h"

namespace timing_format {
inline constexpr const char* magic = "lumenfold-timing 1";
inline constexpr const char* frameColumns = "columns frame swap step kind present_ns cpu_ns";
inline constexpr const char* gpuColumns = "columns gpu swap gpu_ns";
inline constexpr const char* gpuAvailable = "gpu available";
inline constexpr const char* gpuUnavailable = "gpu unavailable";
inline constexpr const char* kindNew = "new";
inline constexpr const char* kindRedraw = "redraw";
inline constexpr const char* kindMore = "more";
inline constexpr const char* gpuDisjoint = "disjoint";
inline constexpr const char* gpuOverrun = "overrun";
inline constexpr const char* gpuImpossible = "impossible";
inline constexpr const char* gpuUntimed = "untimed";
}  // namespace timing_format

enum class SwapKind { newStep, redraw, more };

// One buffer swap. A time not measured is NaN; gpuMissing says why the GPU's is.
struct TimingSwap {
    int line = 0;
    long long swap = 0;
    long step = 0;
    SwapKind kind = SwapKind::newStep;
    double presentSeconds = NAN;
    double cpuSeconds = NAN;
    double gpuSeconds = NAN;
    std::string gpuMissing;
};

struct TimingFile {
    std::string path;                // as shown (displayText)
    bool recognised = false;         // the first line is the format's
    bool gpuAvailable = false;
    std::string gpuNote;             // how GPU time is measured, or why it is not; made safe to show
    std::vector<TimingSwap> swaps;   // in swap order
    std::vector<Problem> problems;
};

TimingFile parseTimingText(const std::string& text, const std::string& path);
// Only a regular file of at most maxTimingFileBytes; anything else gives a
// file with one problem and no swaps.
constexpr long long maxTimingFileBytes = 256LL * 1024 * 1024;
TimingFile readTimingFile(const std::string& path);

// One drawing: the swap that opens it and the "more" swaps after it, summed.
// Its GPU time is NaN, with the first reason met, unless every swap's is known.
struct FrameTiming {
    long step = 0;
    bool redraw = false;
    long long firstSwap = 0;
    int swaps = 0;
    double presentSeconds = NAN;
    double cpuSeconds = NAN;
    double gpuSeconds = NAN;
    std::string gpuMissing;
};

// The drawings in the order drawn; "more" swaps before the first drawing
// belong to none and are left out.
std::vector<FrameTiming> timingFrames(const TimingFile& file);

// For each results-file frame, given the step it shows, the drawing that
// produced it: the n-th frame of a step takes the n-th drawing of that step,
// so the first is the step's first drawing and a redraw takes the redraw's.
// Absent for a step below 1 or one not drawn as often in the timing file.
std::vector<std::optional<FrameTiming>> matchFramesByStep(const std::vector<FrameTiming>& drawings,
                                                          const std::vector<long>& frameSteps);

// The timing file of a results file: results_x.txt gives results_x.timing.
std::string timingPathFor(const std::string& resultsPath);

// Puts each of the run's whole frames' times into run.timing: a program
// whose frames have steps by matchFramesByStep, any other in the order drawn
// (every drawing, a redraw too, ends in a frame of the results file).
void attachTiming(ResultsRun& run, const TimingFile& file);
// The same from the timing file beside the run's results file, when there
// is one; a run without one keeps run.timing.present false.
void attachTimingBeside(ResultsRun& run);
