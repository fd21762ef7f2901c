#include "commands/series_command.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <ctime>

#include "common/messages.h"
#include "common/time_text.h"
#include "run/machine_lock.h"
#include "output/run_words.h"
#include "programs/programs.h"

namespace {

struct Series {
    Program program = nullptr;
    std::vector<ResultsRun> runs;
    MainFigure figure;
    Interval interval;
    bool ok = true;
};

// Runs until the plan says enough, or a run fails, or lumenfold is interrupted.
Series runSeries(RunSession& session, Program program, RunOptions options, const SeriesPlan& plan,
                 const std::string& binary, const std::string& directory) {
    Series series;
    series.program = program;
    for (int done = 0; anotherRun(plan, done, series.interval); ++done) {
        if (interruptRequested()) {
            series.ok = false;
            break;
        }
        options.ordinal = runOrdinal(plan, done + 1);
        RunOutcome outcome = runOnce(session, program, options, binary, directory);
        if (!outcome.failure.empty() || !outcome.results.problems.empty()) {
            for (const Problem& problem : outcome.results.problems) tell(problemText(outcome.results, problem));
            tell("the series of " + std::string(programName(program)) + " stops at its failed " +
                runOrdinal(plan, done + 1));
            series.ok = false;
            break;
        }
        series.runs.push_back(std::move(outcome.results));
        series.figure = mainFigure(program, series.runs);
        series.interval = medianInterval(series.figure.runs);
        // The run's own figure, at the step the series has now.
        const MainFigure own = mainFigureAt(program, {series.runs.back()}, deepestCommonStep(series.runs));
        tell(progressLine(plan, done + 1, series.figure.name, medianOfRunMedians(own.runs), series.interval));
    }
    return series;
}

void printSeries(const Series& series, const SeriesPlan& plan, const std::string& directory) {
    std::string line = std::string(programName(series.program)) + ", " + std::to_string(series.runs.size()) +
                       " run" + (series.runs.size() == 1 ? "" : "s") + " in " + directory + ": " +
                       series.figure.name + " " + intervalText(series.interval);
    if (plan.stablePercent > 0 && series.ok)
        line += stableWithin(series.interval, plan.stablePercent)
                    ? "; stable within ±" + figureText(plan.stablePercent) + "%"
                    : "; not stable within ±" + figureText(plan.stablePercent) + "% after " +
                          std::to_string(plan.maxRuns) + " runs";
    printf("\n== %s\n", line.c_str());
    fflush(stdout);
}

std::string dateStamp() { return localStamp(); }

void printSuiteTable(const std::vector<Series>& all) {
    printf("\n%-10s %4s  %-34s %11s  %s\n", "program", "runs", "main figure", "median", "95% interval");
    for (const Series& s : all) {
        std::string interval = "-";
        if (std::isfinite(s.interval.low) && std::isfinite(s.interval.high))
            interval = figureText(s.interval.low) + " to " + figureText(s.interval.high);
        printf("%-10s %4zu  %-34s %11s  %s%s\n", programName(s.program), s.runs.size(), s.figure.name.c_str(),
               figureText(s.interval.estimate).c_str(), interval.c_str(), s.ok ? "" : "  (failed)");
    }
    fflush(stdout);
}

}  // namespace

int seriesCommand(const RunOptions& options, const SeriesPlan& plan) {
    const Program program = findProgram(options.program);
    if (program == nullptr) return 2;
    MachineLock machine;
    if (!holdMachine(machine, options.command, options.noWait)) return 1;
    std::string binary, directory;
    RunSession session;
    if (!prepareSession(options, binary, directory, session)) return 1;
    const Series series = runSeries(session, program, options, plan, binary, directory);
    printSeries(series, plan, directory);
    return series.ok ? 0 : 1;
}

int suiteCommand(const SuiteOptions& options) {
    MachineLock machine;
    if (!holdMachine(machine, options.command, options.noWait)) return 1;
    RunOptions run;
    run.limits = options.limits;
    run.command = options.command;
    run.echo = options.echo;
    run.labels = options.labels;
    run.finished = options.finished;
    run.sampleIntervalMs = options.sampleIntervalMs;
    run.timing = options.timing;
    run.directory = options.directory.empty() ? "lumenfold-suite-" + dateStamp() : options.directory;
    SeriesPlan plan;
    plan.repeat = options.repeat;
    std::string binary, directory, error;
    std::vector<Series> all;
    RunSession session;
    for (Program program : programs()) {
        run.program = programName(program);
        if (!options.programs.empty() &&
            std::find(options.programs.begin(), options.programs.end(), run.program) == options.programs.end())
            continue;
        if (interruptRequested() || !prepareRun(run, binary, directory)) break;
        if (all.empty() && !session.open(error)) {
            tell(error);
            return 1;
        }
        all.push_back(runSeries(session, program, run, plan, binary, directory));
        if (!all.back().ok) break;
    }
    printSuiteTable(all);
    printf("\nAll results, context and console log files are in %s\n", directory.empty() ? run.directory.c_str() : directory.c_str());
    const size_t wanted = options.programs.empty() ? programs().size() : options.programs.size();
    const bool ok = all.size() == wanted && all.back().ok;
    if (!ok) tell("the suite did not finish: see the messages above");
    return ok ? 0 : 1;
}
