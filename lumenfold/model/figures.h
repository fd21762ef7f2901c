// Every figure lumenfold reports, once: per program its key, label, unit,
// direction and where its samples come from. The report (text, JSON, CSV),
// compare, a series' main figure and the HTML charts all take figures from
// here, so a figure is named by one JSON key everywhere.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/direction.h"
#include "model/results_file.h"

// Where a figure's samples come from in a run.
enum class SampleSource {
    setupSeconds,     // the single set-up time of the run
    frameSeconds,     // per frame: its time; streaming: its three kernel blocks together
    framesPerSecond,  // per frame: the frame rate the program reports (angles/s)
    frameRate,        // per frame: triangles/s or vertices/s
    kernelSeconds,    // per block of one streaming kernel: its time
    kernelRate,       // per block of one streaming kernel: millions of executions/s
};

struct FigureSpec {
    Program program = Program::triangles;
    std::string key;      // the JSON key everywhere, camelCase: "verticesPerSecond"
    std::string label;    // for people: "vertices/s"
    std::string unit;     // "s", "frames/s", "triangles/s", "vertices/s", "Mexec/s"
    Direction direction = Direction::higherIsBetter;
    SampleSource source = SampleSource::frameSeconds;
    int kernel = 0;       // kernelSeconds, kernelRate: which streaming kernel
    // triangles' rate at one animation step: a family of figures, one per
    // step. In programFigures it stands for the family (step -1, key the
    // family's prefix); figureAtStep gives its member for one step.
    bool perStep = false;
    long step = -1;
    // Charted figures: the HTML page (and for rates, gnuplot) draws them per
    // frame, the set-up per run, with this title and x axis; y is the unit.
    bool charted = false;
    std::string chartTitle;
    std::string chartX;
    bool main = false;      // a series is judged by it
    // Per run one sample (the set-up time), not one per frame or block.
    bool perRun() const { return source == SampleSource::setupSeconds; }
};

// The program's figures in the order every format lists them.
const std::vector<FigureSpec>& programFigures(Program program);

// The member of a per-step family at one step: key "trianglesPerSecondStep12",
// label "triangles/s at step 12".
FigureSpec figureAtStep(const FigureSpec& family, long step);

// A figure by its key, per-step members included ("trianglesPerSecondStep12").
std::optional<FigureSpec> findFigure(Program program, const std::string& key);

// The figure a series of runs is judged by (for triangles, the family:
// take its member at the deepest step every run reached).
const FigureSpec& mainFigureSpec(Program program);

// The samples one run gives of a figure, in frame (or block) order; none
// for a run of another program or an unrecognised one. For a per-step
// member, only frames drawn at its step; with steps given, a per-frame
// triangles figure takes only frames drawn at one of them.
std::vector<double> figureSamples(const ResultsRun& run, const FigureSpec& figure,
                                  const std::set<long>* steps = nullptr);

// A per-step family's samples at each step its frames were drawn at, steps
// in increasing order, in one pass over the frames: at each step, what
// figureSamples gives of the family's member at that step.
std::map<long, std::vector<double>> samplesByStep(const ResultsRun& run, const FigureSpec& family);

// Per frame, the x a chart draws a per-frame sample at: the frame's number
// from 1, or for triangles' rate its animation step.
std::vector<double> figurePositions(const ResultsRun& run, const FigureSpec& figure);
