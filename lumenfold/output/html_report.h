// The report or a comparison as one self-contained HTML page of charts and
// tables, in the page shell every page shares.
#pragma once

#include <string>
#include <vector>

#include "analysis/compare.h"
#include "model/context_file.h"
#include "output/page_shell.h"

// A page for the runs; with figures, a comparison of side A with side B.
// generator names the program and version that wrote the page; notes
// (of a comparison: where the sides differ, runs that stand out) head it.
std::string htmlPage(const std::vector<ReportedRun>& runs, const std::vector<FigureComparison>& figures,
                     const ChartLibrary& library, const std::string& generator,
                     const std::vector<std::string>& notes = {});

// A run as charts and headings name it: its side, number and start time,
// e.g. "A #2 2026-12-07 14:05:09"; the full name is in its table.
std::string briefRunName(const ReportedRun& run, size_t index);
