// `lumenfold compare`: runs of side B against runs of side A, figure by
// figure, with bootstrap intervals and verdicts.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

struct CompareOptions {
    std::vector<std::string> sideA, sideB;   // results files or directories of them
    std::string format;                      // empty: the first output format
    int skipFrames = 0;
    std::string html;
};

CLI::App* addCompareCommand(CLI::App& app, CompareOptions& options);

// "compare A B" stands for "compare A --vs B"; false when the sides are
// neither that nor given with --vs.
bool splitSides(CompareOptions& options);

// 0; 1 when a file could not be read whole, nothing could be compared or the
// page not written; 2 when the sides cannot be told apart.
int compareCommand(CompareOptions options);
