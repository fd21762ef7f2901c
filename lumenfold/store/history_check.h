// From stored runs to change points: pure, no database. The formats in
// output/ write what is found.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/change_points.h"
#include "store/history_store.h"
#include "model/results_file.h"

// One figure of one run: its key (as report and compare name it), and its
// samples, one per frame (or one, for the set-up time).
struct FigureSamples {
    std::string key;
    std::string label;
    Direction direction = Direction::higherIsBetter;
    std::vector<double> samples;
};

// Every figure a run gives. The one place where a stored run becomes
// figures, so that history follows the figures report and compare show.
std::vector<FigureSamples> figureSamplesOfRun(const ResultsRun& run);

// What a change point says changed in the context, from the last run before
// to the first run after: the context's condition facts by key (renderer,
// GL version, kernel, CPU model, Lumenfold version, the GL environment
// variables, the revision built, labels as "label.NAME"), the driver's
// revision and its warnings. Key -> [before, after]; "(none)" for what a
// context does not record, "(no context)" without one.
using ContextChanges = std::map<std::string, std::pair<std::string, std::string>>;
ContextChanges contextChanges(const std::optional<std::string>& before, const std::optional<std::string>& after);

// A series: one machine's runs of one program, one figure, in start-time
// order, excluded runs and runs without the figure left out.
struct Series {
    std::string machine;
    std::string program;
    std::string figure;
    std::string label;
    Direction direction = Direction::higherIsBetter;
    std::vector<const StoredRun*> runs;
    RunSamples samples;
};

// The series of runs (listed in start-time order within machine and program)
// whose data is in `data`, same order; figure "" keeps every figure.
std::vector<Series> buildSeries(std::span<const StoredRun> runs, std::span<const ResultsRun> data,
                                const std::string& figure);

struct Finding {
    const Series* series = nullptr;
    ChangePoint point;
    ContextChanges changed;
};

// When both sides of a change point carry a git revision (the one bisect
// built, else the Mesa driver's), the `lumenfold bisect` command that would
// search between them, with the repository and build left for the user to
// fill in; empty otherwise.
std::string bisectSuggestion(const Series& series, const ContextChanges& changed);

// A change point of the series with what changed around it: in the
// contexts of the runs on either side, in what the machine's sensors read.
Finding findingOf(const Series& s, const ChangePoint& p);

// The change points of every series, in the series' order, the same
// whatever the number of threads (0: a thread per usable core); progress,
// when given, hears how many series are done every few seconds.
std::vector<Finding> checkSeries(const std::vector<Series>& series, const ChangePointOptions& options = {},
                                 unsigned threads = 0, const std::function<void(size_t checked)>& progress = {});
