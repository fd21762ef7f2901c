// The report of results files as text, CSV or JSON, the comparison of two
// runs, and the gnuplot script of the rate per frame.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "results_file.h"
#include "statistics.h"

// One figure of a run with its statistics over the frames (for streaming,
// over the kernel's blocks).
struct Figure {
    std::string key;     // stable name for CSV and JSON, e.g. "frame_seconds"
    std::string label;   // for people, e.g. "frame time (s)"
    Statistics stats;
};

std::vector<Figure> runFigures(const ResultsRun& run);

// "file:line: message", the form every problem is shown in.
std::string problemText(const ResultsRun& run, const Problem& problem);

std::string textReport(const std::vector<ResultsRun>& runs);
std::string csvReport(const std::vector<ResultsRun>& runs);
nlohmann::json runJson(const ResultsRun& run);
std::string jsonReport(const std::vector<ResultsRun>& runs);

// Side by side with the ratio B/A per figure and statistic. The runs must be
// of the same program; comparable() says why not otherwise.
bool comparable(const ResultsRun& a, const ResultsRun& b, std::string& error);
std::string textComparison(const ResultsRun& a, const ResultsRun& b);
std::string csvComparison(const ResultsRun& a, const ResultsRun& b);
std::string jsonComparison(const ResultsRun& a, const ResultsRun& b);

// A gnuplot script that draws the rate per frame of every run, one line per
// file (for streaming one panel per kernel), into outputPath (.svg or .png).
// Empty with error set when there is nothing that can be drawn; files that
// have no line in it are added to leftOut.
std::string plotScript(const std::vector<ResultsRun>& runs, const std::string& outputPath, std::string& error,
                       std::vector<std::string>* leftOut = nullptr);
