// The --format choices of report and compare, and what each writes: a new
// format is one entry here.
#pragma once

#include <string>
#include <vector>

#include "analysis/compare.h"
#include "model/context_file.h"

struct OutputFormat {
    std::string name;   // as given to --format
    std::string (*report)(const std::vector<ReportedRun>& runs);
    std::string (*comparison)(const Comparison& comparison);
    // False when the format has no place for a comparison's machine warnings
    // and notes; the caller then shows them on standard error.
    bool holdsNotes = true;
};

// The first is the default.
const std::vector<OutputFormat>& outputFormats();
// The format of a name outputFormats lists; the default for any other.
const OutputFormat& outputFormat(const std::string& name);
std::vector<std::string> formatNames();
