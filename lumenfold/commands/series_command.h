// `lumenfold run --repeat/--until-stable` and `lumenfold suite`: series of
// fresh runs in one directory, each with its results and context file.
#pragma once

#include <string>
#include <vector>

#include "run/program_run.h"
#include "run/series.h"

int seriesCommand(const RunOptions& options, const SeriesPlan& plan);

struct SuiteOptions {
    int repeat = 1;
    std::string directory;  // empty: a new one named after the date in the current directory
    RunLimits limits;       // the frames each run takes, the hang timeout
    std::string command;
    bool echo = false;      // each program's console shown live as well as logged
    std::map<std::string, std::string> labels;   // --label, kept in every context file
    bool noWait = false;    // as RunOptions::noWait
    std::vector<std::string> programs;   // empty: every program
    int sampleIntervalMs = 100;          // as RunOptions::sampleIntervalMs
    bool timing = false;                 // as RunOptions::timing
    std::function<void(const std::string& resultsPath)> finished;   // as RunOptions::finished
};

int suiteCommand(const SuiteOptions& options);
