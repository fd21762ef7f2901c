// A comparison in the formats that have no file of their own: text, CSV, JSON.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/compare.h"

// The lines that name what stands out in a program's runs: runs apart from
// their side, first frames much slower than the rest.
std::vector<std::string> calloutLines(const ProgramComparison& program, int skippedFrames);
// Notes, warnings and differences: what a format without room for them
// (CSV) leaves to standard error.
std::vector<std::string> comparisonNotes(const Comparison& comparison);

// How the interval was found, in three lines.
std::string bootstrapText(const BootstrapOptions& options);

std::string textComparison(const Comparison& comparison);
std::string csvComparison(const Comparison& comparison);
nlohmann::json comparisonJson(const Comparison& comparison);
std::string jsonComparison(const Comparison& comparison);
