// The files `report` and `compare` are given: results files named one by
// one, or directories (a suite's, or a run's with repetitions) that stand
// for the results files they hold.
#pragma once

#include <string>
#include <vector>

// Each argument that is a directory becomes the files named results_*.txt
// in it and below it, sorted by path; anything else stays as it is, for the
// reader to judge. A directory with no results file adds a line to errors.
std::vector<std::string> expandInputs(const std::vector<std::string>& arguments, std::vector<std::string>& errors);
