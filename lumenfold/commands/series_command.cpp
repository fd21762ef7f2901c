#include "commands/series_command.h"

#include <cstdio>

#include "common/messages.h"
#include "common/time_text.h"
#include "run/machine_lock.h"
#include "output/run_words.h"
#include "programs/programs.h"

SeriesOutcome runSeries(RunSession& session, Program program, RunOptions options, const SeriesPlan& plan,
                        const std::string& binary, const std::string& directory) {
    SeriesOutcome series;
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
        const MainFigureSamples own = mainFigureAt(program, {series.runs.back()}, deepestCommonStep(series.runs));
        tell(progressLine(plan, done + 1, series.figure.name, medianOfRunMedians(own.runs), series.interval));
    }
    return series;
}

namespace {

void printSeries(const SeriesOutcome& series, const SeriesPlan& plan, const std::string& directory) {
    std::string line = std::string(programName(series.program)) + ", " + std::to_string(series.runs.size()) +
                       " run" + (series.runs.size() == 1 ? "" : "s") + " in " + directory + ": " +
                       series.figure.name + " " + medianIntervalText(series.interval);
    if (plan.stablePercent > 0 && series.ok)
        line += stableWithin(series.interval, plan.stablePercent)
                    ? "; stable within ±" + figureText(plan.stablePercent) + "%"
                    : "; not stable within ±" + figureText(plan.stablePercent) + "% after " +
                          std::to_string(plan.maxRuns) + " runs";
    printf("\n== %s\n", line.c_str());
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
    const SeriesOutcome series = runSeries(session, program, options, plan, binary, directory);
    printSeries(series, plan, directory);
    return series.ok ? 0 : 1;
}
