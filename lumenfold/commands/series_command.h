// `lumenfold run --repeat/--until-stable`: a series of fresh runs of one
// program in one directory, each with its results and context file, until
// the plan says enough. The suite runs one series per program.
#pragma once

#include <string>
#include <vector>

#include "analysis/statistics.h"
#include "run/program_run.h"
#include "run/series_plan.h"

// What a series of runs of one program came to.
struct SeriesOutcome {
    Program program = nullptr;
    std::vector<ResultsRun> runs;
    MainFigureSamples figure;
    Interval interval;   // of the main figure's median over the runs so far
    bool ok = true;      // false when a run failed or lumenfold was interrupted
};

// Runs until the plan says enough, or a run fails, or lumenfold is
// interrupted; a progress line after each run.
SeriesOutcome runSeries(RunSession& session, Program program, RunOptions options, const SeriesPlan& plan,
                        const std::string& binary, const std::string& directory);

// The exit status of lumenfold: 0 when every run went as planned.
int seriesCommand(const RunOptions& options, const SeriesPlan& plan);
