// The sentences of a comparison that every format shares.
#pragma once

#include <string>
#include <vector>

#include "analysis/compare.h"

// The lines that name what stands out in a program's runs: runs apart from
// their side, first frames much slower than the rest.
std::vector<std::string> calloutLines(const ProgramComparison& program, int skippedFrames);
// Notes, warnings and differences: what a format without room for them
// (CSV) leaves to standard error.
std::vector<std::string> comparisonNotes(const Comparison& comparison);

// How the interval was found, in three lines.
std::string bootstrapText(const BootstrapOptions& options);

// "higher is better" or "lower is better".
const char* directionName(Direction direction);
