// The report of results files as text, CSV or JSON, and the gnuplot script
// of the rate per frame.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "results/results_file.h"
#include "compare/statistics.h"

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

// Numbers and fields as every format writes them. textNumber: six
// significant digits as the programs print, "-" when undefined; csvNumber:
// enough digits to get the double back, an empty cell when undefined;
// jsonNumber: null for infinity and not-a-number, which JSON lacks.
std::string textNumber(double value, int digits = 6);
std::string csvNumber(double value);
std::string csvField(const std::string& text);
nlohmann::json jsonNumber(double value);
std::string padLeft(const std::string& text, size_t width);
std::string padRight(const std::string& text, size_t width);

// A gnuplot script that draws the rate per frame of every run, one line per
// file (for streaming one panel per kernel), into outputPath (.svg or .png).
// Empty with error set when there is nothing that can be drawn; files that
// have no line in it are added to leftOut.
std::string plotScript(const std::vector<ResultsRun>& runs, const std::string& outputPath, std::string& error,
                       std::vector<std::string>* leftOut = nullptr);
