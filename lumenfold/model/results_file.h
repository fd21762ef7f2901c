// Reading the results files that triangles, cube and streaming leave behind.
//
// The programs write fixed line formats and nothing else, so the reader
// accepts exactly those lines; anything else is reported with its line
// number, and every frame read before (and after) a damaged spot is kept.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class Program { triangles, cube, streaming };

const char* programName(Program program);
// False when the name is not one of the three programs.
bool programFromName(const std::string& name, Program& program);
// The fixed start of the program's results-file names, up to the date.
std::string resultsNamePrefix(Program program);
// The exact window title of the program.
const char* windowTitle(Program program);

constexpr int kernelCount = 3;
// "float", "integer", "logic": the kernels of a streaming frame, in order.
const char* kernelName(int kernel);

// One frame of triangles or cube.
struct Frame {
    int firstLine = 0;          // line number of its "window: " line
    long window = 0;
    double triangles = 0;       // triangles only: the count it reports
    double seconds = 0;         // the frame time
    double anglesPerSecond = 0;
    double rate = 0;            // triangles/s or vertices/s
};

// One kernel block of a streaming frame.
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
    double averageVerticesPerSecond = 0;  // cube only
    std::vector<std::string> lines;       // as the program wrote them, unescaped
};

struct Problem {
    int line = 0;               // 1-based; 0 when the problem is with the file as a whole
    std::string message;
};

struct ResultsRun {
    std::string path;           // the file's name as shown everywhere: escaped (displayText)
    std::string givenPath;      // the name as given, for opening the file and those beside it
    bool recognised = false;    // the title line named one of the programs
    Program program = Program::triangles;
    bool hasSetup = false;
    double setupSeconds = 0;
    std::vector<Frame> frames;                      // triangles, cube
    std::vector<KernelBlock> kernels[kernelCount];  // streaming: every complete block
    int streamingFrames = 0;                        // streaming: frames with all three blocks
    FinalSummary summary;
    std::vector<Problem> problems;
};

// Whole frames of the run: triangles and cube frames, or complete streaming frames.
int frameCount(const ResultsRun& run);

// Parses a results file's text; path only labels the result.
ResultsRun parseResultsText(const std::string& text, const std::string& path);

// The largest results file read. 100,000 streaming frames take about 28 MiB.
constexpr long long maxResultsFileBytes = 256LL * 1024 * 1024;
// Reads and parses a file. Only a regular file of at most maxResultsFileBytes
// is read, so a named pipe, a device or a directory cannot hang or exhaust the
// reader; anything else, or an unreadable file, gives a run with one problem.
ResultsRun readResultsFile(const std::string& path);

// The number in a report line as the programs write it ("%g", "inf",
// "-nan(ind)"); false unless the whole text is one number.
bool parseReportNumber(std::string_view text, double& value);

// The animation step a triangles frame was drawn at, from its triangle count;
// -1 for a count that no step draws.
long trianglesStep(double triangles);
