// The report of results files as text, CSV or JSON.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/statistics.h"
#include "model/context_file.h"
#include "model/results_file.h"

// One figure of a run with its statistics over the frames (for a program
// of kernel blocks, over the kernel's blocks).
struct Figure {
    std::string key;     // its JSON key, e.g. "frameSeconds"
    std::string label;   // for people, e.g. "frame time (s)"
    Statistics stats;
};

// The run's per-frame figures, in the order of its program's list.
std::vector<Figure> runFigures(const ResultsRun& run);
// Where frames have steps, each per-step family at each step drawn
// ("trianglesPerSecondStep3"); none for the others.
std::vector<Figure> stepFigures(const ResultsRun& run);

// "triangles", or "unrecognised".
std::string programLabel(const ResultsRun& run);
// "program cube, 5 frames, set-up 3.2 s; its own summary: ...".
std::string runHeadline(const ResultsRun& run);

// "file:line: message", the form every problem is shown in.
std::string problemText(const ResultsRun& run, const Problem& problem);

// The reports of runs. A validation run (so marked in its context file) is
// listed with a note and no figures: it was not made to measure.
std::string textReport(const std::vector<ReportedRun>& runs);
std::string csvReport(const std::vector<ReportedRun>& runs);
std::string jsonReport(const std::vector<ReportedRun>& runs);
nlohmann::json runJson(const ReportedRun& reported);

// Statistics' names and values in the order every table lists them.
constexpr int statisticCount = 6;
extern const char* const statisticNames[statisticCount];
double statisticValue(const Statistics& stats, int which);

std::string csvField(const std::string& text);
std::string padLeft(const std::string& text, size_t width);
std::string padRight(const std::string& text, size_t width);
