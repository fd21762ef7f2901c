// Two groups of runs compared figure by figure: per program, the ratio of
// the medians B/A with its bootstrap interval and a verdict. Pure: the runs
// are read and the context files' warnings gathered by the caller.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/context_file.h"
#include "model/results_file.h"
#include "analysis/context_differences.h"
#include "analysis/statistics.h"

// One machine-condition warning of a run, from its context file.
struct RunWarning {
    std::string file;      // the results file the run wrote
    std::string message;
};

// One side: its runs, and what their context files said.
struct ComparedSide {
    std::vector<ResultsRun> runs;
    std::vector<RunWarning> warnings;
    std::vector<std::string> withoutContext;   // results files with no readable context file
    std::vector<std::string> validation;       // validation runs: kept out of every figure
    std::vector<RunConditions> conditions;     // of each run with a context file, validation runs aside
    int skippedFrames = 0;                     // left out of every run's start (--skip-frames)
};

// A side from runs read with their context files: their warnings, which
// have none, which are validation runs; every name escaped for display.
ComparedSide sideOf(const std::vector<ReportedRun>& runs);

struct FigureComparison {
    Program program = nullptr;
    std::string figure;        // its JSON key, e.g. "verticesPerSecond", "trianglesPerSecondStep12"
    std::string label;         // for people, e.g. "triangles/s at step 12"
    long step = 0;             // per-step figures; 0 for the others
    Direction direction = Direction::higherIsBetter;
    int runsA = 0;             // runs that gave the figure at least one sample
    int runsB = 0;
    size_t samplesA = 0;
    size_t samplesB = 0;
    double medianA = NAN;      // median of run medians
    double medianB = NAN;
    Interval ratio;            // B/A
    Verdict verdict = Verdict::noClearDifference;
    // A side of one run: the interval shows how its frames vary, not how
    // runs do, which is usually more.
    bool framesOnly = false;
    // Runs of a side whose median of the figure stands apart from the
    // side's other runs' (the outlier rule), by file.
    std::vector<std::string> apartA, apartB;
};

// A run whose first frame is much slower than the frames after it.
struct SlowFirstFrame {
    std::string side;   // "A" or "B"
    std::string file;
};

struct ProgramComparison {
    Program program = nullptr;
    std::vector<std::string> filesA;
    std::vector<std::string> filesB;
    std::vector<FigureComparison> figures;
    std::vector<std::string> notes;   // what limits the figures: one run a side, steps left out
    std::vector<SlowFirstFrame> slowFirst;
};

struct Comparison {
    BootstrapOptions bootstrap;
    std::vector<std::string> filesA;           // every results file given, read or not
    std::vector<std::string> filesB;
    std::vector<ProgramComparison> programs;   // programs with runs on both sides, in program order
    std::vector<std::string> notes;            // programs found on one side only
    std::vector<RunWarning> warningsA;
    std::vector<RunWarning> warningsB;
    std::vector<std::string> withoutContextA;
    std::vector<std::string> withoutContextB;
    std::vector<ConditionDifference> differences;   // where the sides were not measured alike
    int skippedFrames = 0;
};

// Called before each figure's interval is resampled, with the figure's
// name and the runs and samples of both sides: many runs or long ones take a
// while, and the caller may want to say what it is doing.
using FigureProgress = std::function<void(const std::string& figure, size_t runs, size_t samples)>;

// Unrecognised runs are left out (their problems are the reader's to show);
// runs with problems give what could be read.
Comparison compareSides(const ComparedSide& a, const ComparedSide& b, const BootstrapOptions& options = {},
                        const FigureProgress& progress = nullptr);
