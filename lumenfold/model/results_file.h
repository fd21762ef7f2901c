// Reading the results files the programs leave behind.
//
// The programs write fixed line formats and nothing else, so the reader
// accepts exactly the lines of its program's layouts (programs/); anything
// else is reported with its line number, and every frame read before (and
// after) a damaged spot is kept.
#pragma once

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/machine_samples.h"
#include "programs/program.h"

// One frame of a program whose frames are one block each.
struct Frame {
    int firstLine = 0;          // line number of its "window: " line
    long window = 0;
    double triangles = 0;       // the count it reports, where its layout has one
    double seconds = 0;         // the frame time
    double anglesPerSecond = 0;
    double rate = 0;            // triangles/s or vertices/s
    long step = -1;             // the step it was drawn at; -1 where frames have none
};

// One kernel block of a frame made of kernel blocks.
struct KernelBlock {
    int firstLine = 0;
    long window = 0;
    double seconds = 0;
    double millionsPerSecond = 0;
};

struct FinalSummary {
    bool present = false;
    int firstLine = 0;
    double totalSeconds = 0;
    double averageAnglesPerSecond = 0;
    double averageVerticesPerSecond = 0;  // where the layout has an average rate line
    std::vector<std::string> lines;       // as the program wrote them, unescaped
};

struct Problem {
    int line = 0;               // 1-based; 0 when the problem is with the file as a whole
    std::string message;
};

// A whole frame's times as the timing library measured them (run --timing):
// NaN where a time was not measured, gpuMissing saying why the GPU's is not.
struct FrameTimes {
    double presentSeconds = NAN;   // swap to swap
    double cpuSeconds = NAN;       // the process's CPU time over the same span
    double gpuSeconds = NAN;       // the GPU time of the frame's commands
    std::string gpuMissing;
};

// What the timing file beside a results file says of the run's frames.
struct TimedFrames {
    bool present = false;          // a timing file was read beside the results file
    std::string file;              // as shown (displayText)
    bool gpuAvailable = false;
    std::string gpuNote;           // how GPU time is measured, or why it is not
    std::vector<FrameTimes> frames;   // per whole frame, in frameCount's order
    int unmatched = 0;             // whole frames no drawing of the timing file matched
    std::vector<Problem> problems;
};

struct ResultsRun {
    std::string path;           // the file's name as shown everywhere: escaped (displayText)
    std::string givenPath;      // the name as given, for opening the file and those beside it
    bool recognised = false;    // the title line named one of the programs
    Program program = nullptr;  // set when recognised
    bool hasSetup = false;
    double setupSeconds = 0;
    std::vector<Frame> frames;                      // programs of frame blocks
    // Programs of kernel blocks: per kernel, in the program's order, every
    // complete block; and the frames that have a block of every kernel.
    std::vector<std::vector<KernelBlock>> kernels;
    int completeFrames = 0;
    FinalSummary summary;
    std::vector<Problem> problems;
    TimedFrames timing;
    // The machine's state while it ran, from the samples file beside it:
    // every sample (for charts) and their summary.
    std::optional<MachineSamples> machineSamples;
    std::optional<SamplesSummary> machine;
};

// Whole frames of the run: its frames, or its frames with a block of every kernel.
int frameCount(const ResultsRun& run);

// Parses a results file's text; path only labels the result.
ResultsRun parseResultsText(const std::string& text, const std::string& path);

// The largest results file read. 100,000 streaming frames take about 28 MiB.
constexpr long long maxResultsFileBytes = 256LL * 1024 * 1024;
// Reads and parses a file. Only a regular file of at most maxResultsFileBytes
// is read, so a named pipe, a device or a directory cannot hang or exhaust the
// reader; anything else, or an unreadable file, gives a run with one problem.
ResultsRun readResultsFile(const std::string& path);
// The reading itself, for this and the other files lumenfold reads: false with
// error set (for people, without the path) when the file is not read.
bool readRegularFile(const std::string& path, long long maxBytes, std::string& text, std::string& error);

// The number in a report line as the programs write it ("%g", "inf",
// "-nan(ind)"); false unless the whole text is one number.
bool parseReportNumber(std::string_view text, double& value);
