// What report and compare share: the files named on the command line read
// with their context files, their problems told, frames left out on request,
// and the HTML page written.
#pragma once

#include <string>
#include <vector>

#include "analysis/compare.h"
#include "model/context_file.h"

// Files named on the command line, with directories expanded; false when a
// directory held nothing to read (each such problem is told).
bool inputFiles(const std::vector<std::string>& arguments, std::vector<std::string>& files);

// Problems of the results files and their context files, each told on one
// line; true when a results file has any (a context file's only costs its context).
bool showProblems(const std::vector<ReportedRun>& runs);

// The runs without their first k frames, each saying so; the files are not touched.
std::vector<ReportedRun> skippingFrames(std::vector<ReportedRun> runs, int k);

// Standard output, flushed: the report comes before any message after it.
void printOut(const std::string& text);

// The self-contained page of the runs (with figures, a comparison); false,
// told, when it cannot be written.
bool writeRunsPage(const std::vector<ReportedRun>& runs, const std::vector<FigureComparison>& figures,
                   const std::string& path, const std::vector<std::string>& notes = {});
