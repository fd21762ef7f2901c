// `lumenfold bisect`: from two revisions whose runs differ to the commit
// (or the build) that made the difference. Each revision git bisect (or
// the halving of a list of builds) asks for is built, run and judged
// against both ends; the first bad one is confirmed against its parent.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "run/run_core.h"

namespace CLI {
class App;
}

struct BisectOptions {
    std::string program;
    std::string repository, good, bad, build;   // a repository's revisions, built by a command
    std::string builds;                         // or a list of built trees
    std::vector<std::string> environment;       // NAME=VALUE for the program; {tree} for the tree's path
    std::string figure;                         // its key; empty: the program's main figure
    RunLimits limits;
    int runs = 3;
    int maxRuns = 0;                            // 0: three times runs
    std::string directory;                      // empty: a new one named after the date
    std::string format = "text";
    std::string command;                        // lumenfold's own command line, for the context files
    bool noWait = false;                        // refuse, rather than wait, when another benchmark holds the machine
    std::function<void(const std::string& resultsPath)> finished;   // --history
};

CLI::App* addBisectCommand(CLI::App& app, BisectOptions& options);
// 0 with a confirmed culprit, 1 without one, 2 on a usage error.
int bisectCommand(const BisectOptions& options);
