// The gnuplot script of `report --plot`: the rate per frame of every run.
#pragma once

#include <string>
#include <vector>

#include "model/results_file.h"

// A gnuplot script that draws the rate per frame of every run, one line per
// file (for streaming one panel per kernel), into outputPath (.svg or .png).
// Empty with error set when there is nothing that can be drawn; files that
// have no line in it are added to leftOut.
std::string plotScript(const std::vector<ResultsRun>& runs, const std::string& outputPath, std::string& error,
                       std::vector<std::string>* leftOut = nullptr);
