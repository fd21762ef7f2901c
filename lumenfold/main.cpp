// lumenfold: runs the benchmark programs unattended and reports their results files.
// Only the wiring of commands is here; each command's work is in its room.

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sys/wait.h>

#include "commands/bisect_command.h"
#include "commands/history_command.h"
#include "commands/nightly_command.h"
#include "common/name_value.h"
#include "common/display_text.h"
#include "common/messages.h"
#include "common/whole_file.h"
#include "analysis/compare.h"
#include "analysis/outliers.h"
#include "output/comparison_words.h"
#include "output/formats.h"
#include "output/html_report.h"
#include "output/plot_script.h"
#include "output/run_words.h"
#include "model/context_file.h"
#include "model/input_files.h"
#include "commands/run_command.h"
#include "run/program_run.h"
#include "run/run_support.h"
#include "commands/series_command.h"
#include "commands/validate_command.h"
#include "programs/programs.h"

#ifndef LUMENFOLD_VERSION
#define LUMENFOLD_VERSION "unknown"
#endif

namespace {

// Problems of the results files and their context files, each on one line;
// true when a results file has any (a context file's only costs its context).
bool showProblems(const std::vector<ReportedRun>& runs) {
    bool any = false;
    for (const ReportedRun& r : runs) {
        for (const Problem& problem : r.run.problems) tell(problemText(r.run, problem));
        if (!r.context.problem.empty()) tell(r.context.problem);
        any = any || !r.run.problems.empty();
    }
    return any;
}

// Hands the script to gnuplot on its standard input; its messages reach the terminal.
bool drawPlot(const std::string& script, std::string& error) {
    const ToolRun gnuplot = runWithInput({"gnuplot"}, script, true);
    if (gnuplot.ok) return true;
    error = gnuplot.missing ? "gnuplot is not installed (Debian package gnuplot-nox)"
                            : gnuplot.error + "; its messages are above";
    return false;
}

bool writeHtml(const std::vector<ReportedRun>& runs, const std::vector<FigureComparison>& figures,
               const std::string& path, const std::vector<std::string>& notes = {}) {
    std::string error;
    if (!writeWholeFile(path, htmlPage(runs, figures, chartLibrary(), std::string("lumenfold ") + LUMENFOLD_VERSION, notes),
                   error)) {
        tell("no HTML page written: " + displayText(error));
        return false;
    }
    return true;
}

// Files named on the command line, with directories expanded; false when a
// directory held nothing to read.
bool inputFiles(const std::vector<std::string>& arguments, std::vector<std::string>& files) {
    std::vector<std::string> errors;
    files = expandInputs(arguments, errors);
    for (const std::string& error : errors) tell(error);
    return errors.empty();
}

void printOut(const std::string& text) {
    fputs(text.c_str(), stdout);
    fflush(stdout);
}

// The runs without their first k frames, each saying so; the files are not touched.
std::vector<ReportedRun> skippingFrames(std::vector<ReportedRun> runs, int k) {
    if (k <= 0) return runs;
    for (ReportedRun& reported : runs) {
        reported.run = skipFrames(reported.run, k);
        reported.skippedFrames = k;
    }
    return runs;
}

struct ReportRequest {
    std::vector<std::string> files;
    std::string format = outputFormats().front().name;
    int skipFrames = 0;
    std::string plot;
    std::string html;
};

bool plotRuns(const std::vector<ReportedRun>& reported, const std::string& path) {
    std::vector<ResultsRun> runs;
    for (const ReportedRun& r : reported) runs.push_back(r.run);
    std::string error;
    std::vector<std::string> leftOut;
    const std::string script = plotScript(runs, path, error, &leftOut);
    if (!script.empty())
        for (const std::string& file : leftOut) tell(file + " has no frame with a finite rate and is not in the plot");
    if (!script.empty() && drawPlot(script, error)) return true;
    tell("no plot written: " + error);
    return false;
}

int reportCommand(const ReportRequest& request) {
    std::vector<std::string> files;
    const bool expanded = inputFiles(request.files, files);
    std::vector<ReportedRun> read = readReportedRuns(files);
    const bool problems = showProblems(read);
    const std::vector<ReportedRun> runs = skippingFrames(std::move(read), request.skipFrames);
    printOut(outputFormat(request.format).report(runs));
    const bool plotted = request.plot.empty() || plotRuns(runs, request.plot);
    const bool paged = request.html.empty() || writeHtml(runs, {}, request.html);
    return problems || !plotted || !paged || !expanded ? 1 : 0;
}

struct CompareRequest {
    std::vector<std::string> sideA, sideB;
    std::string format = outputFormats().front().name;
    int skipFrames = 0;
    std::string html;
};

// What a format without room for them leaves out must not go unseen.
void tellNotes(const Comparison& comparison) {
    for (const std::string& note : comparisonNotes(comparison)) tell(note);
}

Comparison compareRuns(const std::vector<ReportedRun>& a, const std::vector<ReportedRun>& b) {
    const BootstrapOptions options;
    // Measured on 2 cores: a drawn run costs about 7 x 10^-8 s whatever its
    // length, a frame (sorted, read) about 3 x 10^-7 s. Say what is being
    // done when a figure will take half a second or more.
    const FigureProgress progress = [&options](const std::string& figure, size_t runs, size_t samples) {
        if (double(runs) * options.resamples * 7e-8 + double(samples) * 3e-7 >= 0.5)
            tell("resampling " + figure + " (" + std::to_string(runs) + " runs, " + std::to_string(samples) +
                 " samples, " + std::to_string(options.resamples) + " times)...");
    };
    return compareSides(sideOf(a), sideOf(b), options, progress);
}

int compareCommand(const CompareRequest& request) {
    std::vector<std::string> filesA, filesB;
    const bool expandedA = inputFiles(request.sideA, filesA);
    const bool expandedB = inputFiles(request.sideB, filesB);
    std::vector<ReportedRun> readA = readReportedRuns(filesA, "A");
    std::vector<ReportedRun> readB = readReportedRuns(filesB, "B");
    const bool problemsA = showProblems(readA);
    const bool problemsB = showProblems(readB);
    const std::vector<ReportedRun> a = skippingFrames(std::move(readA), request.skipFrames);
    const std::vector<ReportedRun> b = skippingFrames(std::move(readB), request.skipFrames);
    const Comparison comparison = compareRuns(a, b);
    if (comparison.programs.empty()) {
        for (const std::string& note : comparison.notes) tell(note);
        tell("nothing to compare: no program has a readable run on both sides");
        return 1;
    }
    const OutputFormat& format = outputFormat(request.format);
    printOut(format.comparison(comparison));
    if (!format.holdsNotes) tellNotes(comparison);
    bool paged = true;
    if (!request.html.empty()) {
        std::vector<ReportedRun> runs = a;
        runs.insert(runs.end(), b.begin(), b.end());
        std::vector<FigureComparison> figures;
        for (const ProgramComparison& program : comparison.programs)
            figures.insert(figures.end(), program.figures.begin(), program.figures.end());
        // The page shows each run's warnings and the skipped frames itself.
        std::vector<std::string> notes;
        for (const ConditionDifference& difference : comparison.differences) notes.push_back(difference.line);
        for (const ProgramComparison& program : comparison.programs)
            for (const std::string& line : calloutLines(program, comparison.skippedFrames))
                notes.push_back(std::string(programName(program.program)) + ": " + line);
        paged = writeHtml(runs, figures, request.html, notes);
    }
    return expandedA && expandedB && paged && !problemsA && !problemsB ? 0 : 1;
}

// Frames of a run when neither --frames nor --seconds is given.
constexpr int defaultFrames = 5;
constexpr const char* timingHelp =
    "time every frame with a preloaded library: swap to swap, the process's CPU time and the GPU time of its "
    "commands (timer queries), into a file beside the results that report, compare and history read";

// A number in (low, high], or [low, high] when low is included. CLI11's own
// checks let "nan" through (no comparison with it fails), which made a run
// by time never end and switched the hang timeout off, and show an open
// range as a number of 300 digits.
CLI::Validator numberIn(double low, double high, bool lowIncluded, const std::string& what) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = strtod(text.c_str(), &end);
            const bool fits = (lowIncluded ? value >= low : value > low) && value <= high;
            return !text.empty() && *end == '\0' && fits ? "" : "takes " + what + ", not \"" + text + "\"";
        },
        what);
}

// Up to about 31 years: a limit, never a time that overflows on its way to a clock.
const CLI::Validator positiveSeconds = numberIn(0, 1e9, false, "a number of seconds above 0, at most 1e9");

void addRunLimits(CLI::App* command, RunLimits& limits) {
    command->add_option("--hang-timeout", limits.hangTimeout,
                        "seconds without a new console line after which the program counts as hung")
        ->capture_default_str()
        ->check(positiveSeconds);
}

CLI::App* addRunCommand(CLI::App& app, RunOptions& options, SeriesPlan& plan) {
    CLI::App* run = app.add_subcommand(
        "run", "Start a program, press R, wait for the frames or the time, press P and Esc, answer its prompt, "
               "and report the run. Without DISPLAY it runs on a private Xvfb.");
    run->add_option("program", options.program, programList())
        ->required()
        ->check(CLI::IsMember(programNames()));
    CLI::Option* frames = run->add_option("--frames", options.limits.frames,
                                          "stop once this many frames are reported (default 5), counting the "
                                          "one drawn when the window first shows; the frame running when P "
                                          "arrives is finished and reported too")
                              ->check(CLI::Range(1, 1000000));
    CLI::Option* seconds = run->add_option("--seconds", options.limits.seconds,
                                           "stop once this many seconds have passed since R")
                               ->check(positiveSeconds);
    frames->excludes(seconds);
    run->add_option("--dir", options.directory, "working directory of the program, where its results file goes "
                                                "(default: the current directory; created if missing)");
    addRunLimits(run, options.limits);
    run->add_flag("--echo", options.echo, "show the program's console as it comes (it always goes to its log file)");
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
    run->add_option("--sample-interval", options.sampleIntervalMs,
                    "sample the machine's sensors (clocks, loads, temperatures, power) every MS milliseconds "
                    "into a file beside the results; 0: not at all")
        ->capture_default_str()
        ->check(CLI::Range(0, 60000));
    run->add_flag("--timing", options.timing, timingHelp);
    return run;
}

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
    suite->add_option("--sample-interval", options.sampleIntervalMs,
                      "sample the machine's sensors every MS milliseconds into a file beside each run's results; "
                      "0: not at all")
        ->capture_default_str()
        ->check(CLI::Range(0, 60000));
    suite->add_flag("--timing", options.timing, timingHelp);
    return suite;
}

void addSkipFrames(CLI::App* command, int& frames) {
    command->add_option("--skip-frames", frames,
                        "leave the first K frames of every run out (set-up work spilling into them); every format "
                        "says so, the results files are not changed")
        ->check(CLI::Range(0, std::numeric_limits<int>::max()));
}

void addFormat(CLI::App* command, std::string& format) {
    command->add_option("--format", format, formatChoices())->capture_default_str()->check(CLI::IsMember(formatNames()));
}

CLI::App* addReportCommand(CLI::App& app, ReportRequest& request) {
    CLI::App* report = app.add_subcommand("report", "Statistics of results files of " + programList() + ".");
    report->add_option("files", request.files, "results files, or directories of them")->required();
    addFormat(report, request.format);
    addSkipFrames(report, request.skipFrames);
    report->add_option("--plot", request.plot, "draw the rate per frame with gnuplot into OUT.svg or OUT.png");
    report->add_option("--html", request.html,
                       "also write one self-contained HTML page with charts and each run's context to PAGE");
    return report;
}

CLI::App* addCompareCommand(CLI::App& app, CompareRequest& request) {
    CLI::App* compare = app.add_subcommand(
        "compare", "Runs of B against runs of A: per program and figure, the ratio of medians B/A with a 95% "
                   "interval (hierarchical bootstrap) and a verdict.");
    compare->add_option("A", request.sideA, "results files or directories of side A; without --vs, exactly two files: A B")
        ->required();
    compare->add_option("--vs", request.sideB, "results files or directories of side B");
    addFormat(compare, request.format);
    addSkipFrames(compare, request.skipFrames);
    compare->add_option("--html", request.html,
                        "also write one self-contained HTML page with both sides' runs and each figure's interval");
    return compare;
}

// "compare A B" stands for "compare A --vs B"; false when it is neither.
bool splitSides(CompareRequest& request) {
    if (!request.sideB.empty()) return true;
    if (request.sideA.size() != 2) return false;
    request.sideB = {request.sideA[1]};
    request.sideA.pop_back();
    return true;
}

// --label NAME=VALUE, repeatable, for run and suite.
void addLabels(CLI::App* command, std::vector<std::string>& labels) {
    command->add_option("--label", labels, "NAME=VALUE kept in each run's context file (a build, a branch, a "
                                           "setting); compare names labels that differ; repeatable");
}

// False, having said why, when a --label is not NAME=VALUE or names one twice.
bool takeLabels(const std::vector<std::string>& given, std::map<std::string, std::string>& labels) {
    std::string error;
    if (parseNameValues(given, NameKind::label, labels, error)) return true;
    tell("--label: " + error);
    return false;
}

// What more than one command takes: --label (run, suite), --history (the
// commands that measure), --no-wait (those that hold the machine).
struct SharedFlags {
    std::vector<std::string> labels;
    HistoryFlag history;
    bool noWait = false;
};

void addSharedFlags(SharedFlags& flags, CLI::App* run, CLI::App* suite, CLI::App* validate, CLI::App* nightly,
                    CLI::App* bisect) {
    for (CLI::App* command : {run, suite}) addLabels(command, flags.labels);
    for (CLI::App* command : {run, suite, bisect}) flags.history.addTo(command);
    for (CLI::App* command : {run, suite, validate, nightly, bisect})
        command->add_flag("--no-wait", flags.noWait,
                          "when another benchmark holds this machine, refuse (exit status 1) instead of waiting");
}

}  // namespace

int main(int argc, char** argv) {
    // lumenfold started again as the GL probe of a program's environment.
    if (const char* display = getenv(glProbeVariable)) return answerGlProbe(display);
    CLI::App app{"Runs the Lumenfold benchmark programs unattended and reports their results files."};
    app.set_version_flag("--version", LUMENFOLD_VERSION);
    app.require_subcommand(1);
    RunOptions runOptions;
    runOptions.command = shellQuoted(argc, argv);
    SeriesPlan plan;
    CLI::App* run = addRunCommand(app, runOptions, plan);
    SuiteOptions suiteOptions;
    suiteOptions.command = runOptions.command;
    CLI::App* suite = addSuiteCommand(app, suiteOptions);
    ReportRequest reportRequest;
    CLI::App* report = addReportCommand(app, reportRequest);
    CompareRequest compareRequest;
    addCompareCommand(app, compareRequest);
    ValidateOptions validateOptions;
    validateOptions.command = runOptions.command;
    CLI::App* validate = addValidateCommand(app, validateOptions);

    BisectOptions bisectOptions;
    bisectOptions.command = runOptions.command;
    CLI::App* bisect = addBisectCommand(app, bisectOptions);
    HistoryOptions historyOptions;
    CLI::App* history = addHistoryCommand(app, historyOptions);
    NightlyOptions nightlyOptions;
    nightlyOptions.command = runOptions.command;
    CLI::App* nightly = addNightlyCommand(app, nightlyOptions);
    SharedFlags shared;
    addSharedFlags(shared, run, suite, validate, nightly, bisect);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    runOptions.finished = suiteOptions.finished = bisectOptions.finished = shared.history.adder();
    runOptions.noWait = suiteOptions.noWait = validateOptions.noWait = nightlyOptions.noWait = bisectOptions.noWait =
        shared.noWait;
    if (!takeLabels(shared.labels, runOptions.labels)) return 2;
    suiteOptions.labels = runOptions.labels;
    if (*bisect) return shared.history.status(bisectCommand(bisectOptions));
    if (*run) {
        if (runOptions.limits.frames == 0 && runOptions.limits.seconds == 0) runOptions.limits.frames = defaultFrames;
        if (plan.repeat > 1 || plan.stablePercent > 0) return shared.history.status(seriesCommand(runOptions, plan));
        return shared.history.status(runCommand(runOptions));
    }
    if (*suite) return shared.history.status(suiteCommand(suiteOptions));
    if (*history) return historyCommand(historyOptions);
    if (*nightly) return nightlyCommand(nightlyOptions);
    if (*validate) return validateCommand(validateOptions);
    if (*report) return reportCommand(reportRequest);
    if (!splitSides(compareRequest)) {
        tell("compare takes A B, or A... --vs B...");
        return 2;
    }
    return compareCommand(compareRequest);
}
