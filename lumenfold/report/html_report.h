// The report as one self-contained HTML page: every script and style inline,
// the charting library included, nothing fetched, so that a page mailed or
// archived opens anywhere, offline, years later.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "results/results_file.h"

// The charting library the page carries, inlined at build time.
struct ChartLibrary {
    std::string name;      // e.g. "Chart.js"
    std::string version;   // e.g. "3.9.1"
    std::string origin;    // where it came from, e.g. the Debian package and its version
    std::string code;      // the script itself
};

// The library built into the lumenfold command.
const ChartLibrary& chartLibrary();

// What `lumenfold run` recorded beside a results file.
struct RunContext {
    bool present = false;
    nlohmann::json data;     // the parsed context file when present
    std::string problem;     // why it could not be used, when it exists but does not serve
};

// The context file beside the run's results file; none is no problem
// (results files are often copied alone).
RunContext readRunContext(const ResultsRun& run);
// The context file's text; path only labels a problem.
RunContext parseRunContext(const std::string& text, const std::string& path);

struct ReportedRun {
    ResultsRun run;
    RunContext context;
    std::string side;        // "A" or "B" in a comparison, else empty
};

// One figure of a comparison: the ratio B/A with its interval and verdict.
struct ComparedFigure {
    std::string program;
    std::string figure;      // e.g. "triangles_per_second@step12"
    std::string label;       // for people
    double ratio = 0;
    double ciLow = 0;
    double ciHigh = 0;
    std::string verdict;     // "faster", "slower", "no clear difference"
    int runsA = 0;
    int runsB = 0;
};

// A page for the runs; with figures, a comparison of side A with side B.
// generator names the program and version that wrote the page.
std::string htmlPage(const std::vector<ReportedRun>& runs, const std::vector<ComparedFigure>& figures,
                     const ChartLibrary& library, const std::string& generator);

// Text made safe inside HTML, after displayText: & < > " ' as references.
std::string htmlText(const std::string& displayed);
