#include "commands/run_command.h"

#include <cstdio>

#include "commands/command_options.h"
#include "commands/series_command.h"
#include "common/messages.h"
#include "output/run_words.h"
#include "output/text_format.h"
#include "programs/programs.h"
#include "run/machine_lock.h"

namespace {

int runOnceCommand(const RunOptions& options) {
    const Program program = findProgram(options.program);
    if (program == nullptr) {
        tell("unknown program \"" + options.program + "\": expected " + programList());
        return 2;
    }
    MachineLock machine;
    if (!holdMachine(machine, options.command, options.noWait)) return 1;
    std::string binary, directory;
    RunSession session;
    if (!prepareSession(options, binary, directory, session)) return 1;
    const RunOutcome outcome = runOnce(session, program, options, binary, directory);
    if (!outcome.failure.empty()) return 1;
    printf("\n%s", textReport(withoutContexts({outcome.results})).c_str());
    fflush(stdout);
    for (const Problem& problem : outcome.results.problems) tell(problemText(outcome.results, problem));
    return outcome.results.problems.empty() ? 0 : 1;
}

void addSeriesOptions(CLI::App* run, SeriesPlan& plan) {
    CLI::Option* repeat = run->add_option("--repeat", plan.repeat,
                                          "run the program this many times, each a fresh process with its own "
                                          "results and context file in the one directory")
                              ->check(CLI::Range(1, 1000));
    CLI::Option* stable = run->add_option("--until-stable", plan.stablePercent,
                                          "run at least 3 times, then until the 95% interval of the main figure "
                                          "lies within +-PCT% of its median")
                              ->check(numberIn(0.001, 100, true, "a percentage from 0.001 to 100"));
    CLI::Option* maxRuns = run->add_option("--max-runs", plan.maxRuns, "the most runs --until-stable makes")
                               ->capture_default_str()
                               ->check(CLI::Range(SeriesPlan::minimumStableRuns, 1000));
    repeat->excludes(stable);
    maxRuns->needs(stable);
}

}  // namespace

CLI::App* addRunCommand(CLI::App& app, RunCommandOptions& options) {
    CLI::App* run = app.add_subcommand(
        "run", "Start a program, press R, wait for the frames or the time, press P and Esc, answer its prompt, "
               "and report the run. Without DISPLAY it runs on a private Xvfb.");
    RunOptions& o = options.run;
    run->add_option("program", o.program, programList())->required()->check(CLI::IsMember(programNames()));
    CLI::Option* frames = run->add_option("--frames", o.limits.frames,
                                          "stop once this many frames are reported (default 5), counting the "
                                          "one drawn when the window first shows; the frame running when P "
                                          "arrives is finished and reported too")
                              ->check(CLI::Range(1, 1000000));
    CLI::Option* seconds = run->add_option("--seconds", o.limits.seconds,
                                           "stop once this many seconds have passed since R")
                               ->check(positiveSeconds());
    frames->excludes(seconds);
    run->add_option("--dir", o.directory, "working directory of the program, where its results file goes "
                                          "(default: the current directory; created if missing)");
    addRunLimits(run, o.limits);
    run->add_flag("--echo", o.echo, "show the program's console as it comes (it always goes to its log file)");
    addSeriesOptions(run, options.plan);
    addSampleInterval(run, o.sampleIntervalMs,
                      "sample the machine's sensors (clocks, loads, temperatures, power) every MS milliseconds "
                      "into a file beside the results; 0: not at all");
    addTiming(run, o.timing);
    run->callback([&o] {
        if (o.limits.frames == 0 && o.limits.seconds == 0) o.limits.frames = defaultFrames;
    });
    return run;
}

int runCommand(const RunCommandOptions& options) {
    if (options.plan.repeat > 1 || options.plan.stablePercent > 0) return seriesCommand(options.run, options.plan);
    return runOnceCommand(options.run);
}
