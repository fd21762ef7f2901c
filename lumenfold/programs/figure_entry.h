// What a figure is: its key, label, unit, direction and where its samples
// come from in a run. Each program's table entry lists its figures; the
// report (text, JSON, CSV), compare, history, a series' main figure and the
// charts all take figures from there, so a figure is named by one JSON key
// everywhere.
#pragma once

#include <string>
#include <vector>

struct ProgramSpec;

// Whether a larger value of a figure is better (rates) or worse (times).
enum class Direction { higherIsBetter, lowerIsBetter };

// Where a figure's samples come from in a run.
enum class SampleSource {
    setupSeconds,        // the single set-up time of the run
    frameSeconds,        // per frame: its time
    framesPerSecond,     // per frame: the frame rate the program reports (angles/s)
    frameRate,           // per frame: the rate its last line reports (triangles/s, vertices/s)
    kernelSeconds,       // per block of one kernel: its time
    kernelRate,          // per block of one kernel: millions of executions/s
    kernelFrameSeconds,  // per frame with a block of every kernel: their times together
    // Per whole frame, as the timing library measured it (run --timing);
    // only runs with a timing file have these samples.
    timedPresentSeconds, // swap to swap
    timedCpuSeconds,     // the process's CPU time over the frame
    timedGpuSeconds,     // the GPU time of the frame's commands, where known
};

struct FigureSpec {
    const ProgramSpec* program = nullptr;   // set when the program is entered in the table
    std::string key;      // the JSON key everywhere, camelCase: "verticesPerSecond"
    std::string label;    // for people: "vertices/s"
    std::string unit;     // "s", "frames/s", "triangles/s", "vertices/s", "Mexec/s"
    Direction direction = Direction::higherIsBetter;
    SampleSource source = SampleSource::frameSeconds;
    int kernel = 0;       // kernelSeconds, kernelRate: which kernel, in the program's order
    // A rate at one step of a program whose frames have steps: a family of
    // figures, one per step. In the table it stands for the family (step -1,
    // key the family's prefix); figureAtStep gives its member for one step.
    bool perStep = false;
    long step = -1;
    // Charted figures: the HTML page (and for rates, gnuplot) draws them per
    // frame, the set-up per run, with this title and x axis; y is the unit.
    bool charted = false;
    std::string chartTitle;
    std::string chartX;
    // The outlier rules judge the run's frames (or the kernel's blocks) by it.
    bool judgesOutliers = false;
    // Per run one sample (the set-up time), not one per frame or block.
    bool perRun() const { return source == SampleSource::setupSeconds; }
    // Measured only by the timing library, so only a timed run has samples.
    bool timed() const {
        return source == SampleSource::timedPresentSeconds || source == SampleSource::timedCpuSeconds ||
               source == SampleSource::timedGpuSeconds;
    }
};

// A figure as the tables spell them.
FigureSpec figure(const std::string& key, const std::string& label, const std::string& unit, Direction direction,
                  SampleSource source);
// The same, drawn with this title and x axis.
FigureSpec charted(FigureSpec spec, const std::string& title, const std::string& x = "frame");
// The figures every program has: its set-up time, and its frame time.
FigureSpec setupFigure();
FigureSpec frameTimeFigure(const std::string& label, const std::string& title,
                           SampleSource source = SampleSource::frameSeconds);

// The figures the timing library gives every program, after its own:
// presentSeconds, cpuSeconds and gpuSeconds.
std::vector<FigureSpec> timingFigures();

// The member of a per-step family at one step: key "trianglesPerSecondStep12",
// label "triangles/s at step 12".
FigureSpec figureAtStep(const FigureSpec& family, long step);
