#include "commands/suite_command.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "commands/command_options.h"
#include "commands/series_command.h"
#include "common/messages.h"
#include "common/time_text.h"
#include "programs/programs.h"
#include "run/machine_lock.h"

namespace {

void printSuiteTable(const std::vector<SeriesOutcome>& all) {
    printf("\n%-10s %4s  %-34s %11s  %s\n", "program", "runs", "main figure", "median", "95% interval");
    for (const SeriesOutcome& s : all) {
        std::string interval = "-";
        if (std::isfinite(s.interval.low) && std::isfinite(s.interval.high))
            interval = figureText(s.interval.low) + " to " + figureText(s.interval.high);
        printf("%-10s %4zu  %-34s %11s  %s%s\n", programName(s.program), s.runs.size(), s.figure.name.c_str(),
               figureText(s.interval.estimate).c_str(), interval.c_str(), s.ok ? "" : "  (failed)");
    }
    fflush(stdout);
}

}  // namespace

CLI::App* addSuiteCommand(CLI::App& app, SuiteOptions& options) {
    CLI::App* suite = app.add_subcommand(
        "suite", "Run " + programList("and") + " in turn, each for 5 frames, into one directory that report "
                 "and compare take whole; ends with one summary table.");
    suite->add_option("--repeat", options.repeat, "runs of each program")->capture_default_str()->check(
        CLI::Range(1, 1000));
    suite->add_option("--dir", options.directory,
                      "where the results and context files go (default: lumenfold-suite-DATE-TIME here)");
    addRunLimits(suite, options.limits);
    suite->add_flag("--echo", options.echo, "show each program's console as it comes (it always goes to its log file)");
    options.limits.frames = defaultFrames;
    addSampleInterval(suite, options.sampleIntervalMs,
                      "sample the machine's sensors every MS milliseconds into a file beside each run's results; "
                      "0: not at all");
    addTiming(suite, options.timing);
    return suite;
}

int suiteCommand(const SuiteOptions& options) {
    MachineLock machine;
    if (!holdMachine(machine, options.command, options.noWait)) return 1;
    RunOptions run;
    run.limits = options.limits;
    run.command = options.command;
    run.echo = options.echo;
    run.finished = options.finished;
    run.sampleIntervalMs = options.sampleIntervalMs;
    run.timing = options.timing;
    run.labels = options.labels;
    run.directory = options.directory.empty() ? "lumenfold-suite-" + dateStamp(time(nullptr)) : options.directory;
    SeriesPlan plan;
    plan.repeat = options.repeat;
    std::string binary, directory, error;
    std::vector<SeriesOutcome> all;
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
