// The report as one self-contained HTML page: every script and style inline,
// the charting library included, nothing fetched, so that a page mailed or
// archived opens anywhere, offline, years later.
#pragma once

#include <string>
#include <vector>

#include "analysis/compare.h"
#include "model/context_file.h"

// The charting library the page carries, inlined at build time.
struct ChartLibrary {
    std::string name;      // e.g. "Chart.js"
    std::string version;   // e.g. "3.9.1"
    std::string origin;    // where it came from, e.g. the Debian package and its version
    std::string code;      // the script itself
};

// The library built into the lumenfold command.
const ChartLibrary& chartLibrary();

// The page's own style sheet and script (report/page.css, report/page.js),
// embedded at build time.
const char* pageStyle();
const char* pageScript();

// A page for the runs; with figures, a comparison of side A with side B.
// generator names the program and version that wrote the page; notes
// (of a comparison: where the sides differ, runs that stand out) head it.
std::string htmlPage(const std::vector<ReportedRun>& runs, const std::vector<FigureComparison>& figures,
                     const ChartLibrary& library, const std::string& generator,
                     const std::vector<std::string>& notes = {});

// A run as charts and headings name it: its side, number and start time,
// e.g. "A #2 2026-12-07 14:05:09"; the full name is in its table.
std::string briefRunName(const ReportedRun& run, size_t index);

// Text made safe inside HTML, after displayText: & < > " ' as references.
std::string htmlText(const std::string& displayed);

// JSON inside a script element: nothing in it may close the element or open
// a comment. And a script inlined whole, its closing tags broken.
std::string scriptJson(const nlohmann::json& value);
std::string inlineScript(const std::string& code);
