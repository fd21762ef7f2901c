// `lumenfold run`: one run of a program and its report, or with --repeat or
// --until-stable a series of runs (series_command).
#pragma once

#include <CLI/CLI.hpp>

#include "run/program_run.h"
#include "run/series_plan.h"

struct RunCommandOptions {
    RunOptions run;     // the program, the frames or seconds, the directory
    SeriesPlan plan;    // one run, a fixed series, or runs until stable
};

// Neither --frames nor --seconds given: defaultFrames frames.
CLI::App* addRunCommand(CLI::App& app, RunCommandOptions& options);

// The exit status of lumenfold: 0 when every run went as planned.
int runCommand(const RunCommandOptions& options);
