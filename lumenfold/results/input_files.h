// The files `report` and `compare` are given: results files named one by
// one, or directories (a suite's, or a run's with repetitions) that stand
// for the results files they hold.
#pragma once

#include <string>
#include <vector>

#include "compare/compare.h"

// Each argument that is a directory becomes the files named results_*.txt
// in it and below it, sorted by path; anything else stays as it is, for the
// reader to judge. A directory with no results file adds a line to errors.
std::vector<std::string> expandInputs(const std::vector<std::string>& arguments, std::vector<std::string>& errors);

// Reads the results files of one side of a comparison, with the warnings of
// the context file beside each; file names and warnings escaped for display.
ComparedSide readSide(const std::vector<std::string>& files);

// The machine-condition warnings a context file's text holds; false when it
// is not a JSON object.
bool contextWarnings(const std::string& contextText, std::vector<std::string>& warnings);
