// `lumenfold suite`: every program of the table in turn into one
// directory, then one summary table.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "run/run_machine.h"

struct SuiteOptions {
    int repeat = 1;
    std::string directory;  // empty: a new one named after the date in the current directory
    RunLimits limits;       // the frames each run takes, the hang timeout
    std::string command;
    bool echo = false;      // each program's console shown live as well as logged
    bool noWait = false;    // as RunOptions::noWait
    std::vector<std::string> programs;   // empty: every program
    int sampleIntervalMs = 100;          // as RunOptions::sampleIntervalMs
    bool timing = false;                 // as RunOptions::timing
    std::map<std::string, std::string> labels;   // --label, kept in every context file
    std::function<void(const std::string& resultsPath)> finished;   // as RunOptions::finished
};

CLI::App* addSuiteCommand(CLI::App& app, SuiteOptions& options);

// The exit status of lumenfold: 0 when every program's series went as planned.
int suiteCommand(const SuiteOptions& options);
