// What makes one run unlike the others: frames far from the run's median, a
// first frame far slower than the rest, a run whose median stands apart from
// its side's other runs. Shown, never dropped; leaving frames out is the
// user's explicit choice (skipFrames).
//
// One rule throughout: a value stands apart when it lies more than 10
// spreads from the median of the values it is judged against, the spread
// being the median absolute deviation scaled by 1.4826 (which makes it the
// standard deviation for normal data). Ten such deviations is far beyond
// ordinary noise, so what the rule names is worth a look.
//
// When more than half the values are equal the median absolute deviation is
// 0 and every other value would stand apart, which would flag timer
// resolution rather than outliers; the spread is then the mean absolute
// deviation from the median scaled by 1.2533 (its factor to the standard
// deviation for normal data). When that is 0 too, all the values are equal
// and nothing stands apart; nor does anything among fewer than three values.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/statistics.h"
#include "model/results_file.h"

constexpr double outlierSpreads = 10;
constexpr double madToSigma = 1.4826;
constexpr double meanDeviationToSigma = 1.2533;

// The centre and spread the rule judges against; spread 0 when it cannot
// judge (fewer than three values, or all equal).
struct RobustCentre {
    double median = NAN;
    double spread = 0;
};

// Not-a-number values are left out.
RobustCentre robustCentre(std::vector<double> values);

// Whether value lies more than outlierSpreads spreads from the centre.
bool standsApart(double value, const RobustCentre& centre);

// A per-frame figure of a run the rules look at, one for each figure its
// program's table marks as judging outliers (triangles/s, vertices/s, each
// streaming kernel's millions of executions per second), with each frame's
// (or block's) time for the first-frame rule.
//
// Where the program's frames have steps (triangles), each draws a longer
// list than the last, so the rate climbs over the first frames and the
// times grow throughout. There the rule judges each frame's rate less its
// local trend: the median of the frames within neighbourhood on either
// side of it (fewer near the ends, the same number on both sides), against
// the spread of those residuals over the whole run. Frame 1's time is
// judged against the next frames only.
struct FrameFigure {
    std::string key;                 // the figure's key: "verticesPerSecond", "floatMexecPerSecond"
    std::string label;               // for people: "vertices/s", "float kernel Mexec/s"
    int kernel = -1;                 // the kernel whose blocks it judges; -1: the run's frames
    std::vector<double> values;      // one per frame (or per block of the kernel)
    std::vector<double> seconds;     // the frame's (or block's) time
    std::vector<int> lines;          // each frame's first line in the results file
    bool growingWorkload = false;    // the frames have steps
};
constexpr size_t neighbourhood = 7;
std::vector<FrameFigure> frameFigures(const ResultsRun& run);

constexpr size_t namedOutlierFrames = 5;

// The frames of one figure that stand apart from the run's median.
struct OutlierFrames {
    size_t count = 0;
    std::vector<int> frames;   // the first namedOutlierFrames, numbered from 1 in file order
    std::vector<int> lines;    // their first lines
    std::vector<size_t> all;   // every one, as indices into the figure's values (the page marks them all)
};
OutlierFrames outlierFrames(const FrameFigure& figure);

// Frame 1 slower than the frames after it allow: its time above their
// median by more than outlierSpreads of their spread (frames with steps: of frames
// 2 to 2 + 2 x neighbourhood, which draw more than frame 1 and so only make
// the rule more cautious). Set-up work spilling into the first frame shows
// this way.
bool slowFirstFrame(const FrameFigure& figure);

// The outliers of one run, figure by figure.
struct RunOutliers {
    std::string key;      // the judging figure's key
    std::string label;    // and its label, for people
    OutlierFrames frames;
    bool slowFirst = false;
};
std::vector<RunOutliers> runOutliers(const ResultsRun& run);

// Of one side's run medians, the indices of those that stand apart from the
// other runs' medians (each judged against the rest, itself left out).
std::vector<size_t> runsStandingApart(const std::vector<double>& runMedians);

// The run without its first k frames (kernel blocks: its first k complete
// frames, with any incomplete blocks before them). The run read from the
// file is not changed, nor is the file.
ResultsRun skipFrames(const ResultsRun& run, int k);
