// lumenfold: runs the benchmark programs unattended and reports their results files.

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sys/wait.h>

#include "compare/compare.h"
#include "history/history_command.h"
#include "common/display_text.h"
#include "report/html_report.h"
#include "results/input_files.h"
#include "report/report_format.h"
#include "run/run_command.h"
#include "run/series_command.h"
#include "run/run_support.h"

#ifndef LUMENFOLD_VERSION
#define LUMENFOLD_VERSION "unknown"
#endif

namespace {

void showProblems(const std::vector<ResultsRun>& runs) {
    for (const ResultsRun& run : runs)
        for (const Problem& problem : run.problems)
            fprintf(stderr, "lumenfold: %s\n", problemText(run, problem).c_str());
}

bool anyProblems(const std::vector<ResultsRun>& runs) {
    for (const ResultsRun& run : runs)
        if (!run.problems.empty()) return true;
    return false;
}

// Hands the script to gnuplot on its standard input.
bool drawPlot(const std::string& script, std::string& error) {
    FILE* gnuplot = popen("gnuplot", "w");
    if (gnuplot == nullptr) {
        error = "cannot start gnuplot";
        return false;
    }
    fwrite(script.data(), 1, script.size(), gnuplot);
    const int status = pclose(gnuplot);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = WIFEXITED(status) && WEXITSTATUS(status) == 127
                    ? "gnuplot is not installed (Debian package gnuplot-nox)"
                    : "gnuplot failed (" + describeWaitStatus(status) + "); its messages are above";
        return false;
    }
    return true;
}

// Writes the page beside its final name and moves it there, so that a page
// that cannot be finished never replaces a good one.
bool writePage(const std::string& path, const std::string& page, std::string& error) {
    const std::string temporary = path + ".partial";
    FILE* out = fopen(temporary.c_str(), "w");
    if (out == nullptr) {
        error = "cannot create " + temporary + ": " + strerror(errno);
        return false;
    }
    const bool written = fwrite(page.data(), 1, page.size(), out) == page.size();
    const int writeErrno = errno;
    if (fclose(out) != 0 || !written) {
        error = "cannot write " + temporary + ": " + strerror(written ? errno : writeErrno);
        remove(temporary.c_str());
        return false;
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot move " + temporary + " to " + path + ": " + strerror(errno);
        remove(temporary.c_str());
        return false;
    }
    return true;
}

bool writeHtml(const std::vector<ReportedRun>& runs, const std::vector<ComparedFigure>& figures,
               const std::string& path) {
    for (const ReportedRun& r : runs)
        if (!r.context.problem.empty()) fprintf(stderr, "lumenfold: %s\n", r.context.problem.c_str());
    std::string error;
    if (!writePage(path, htmlPage(runs, figures, chartLibrary(), std::string("lumenfold ") + LUMENFOLD_VERSION), error)) {
        fprintf(stderr, "lumenfold: no HTML page written: %s\n", displayText(error).c_str());
        return false;
    }
    return true;
}

std::vector<ReportedRun> withContexts(const std::vector<ResultsRun>& runs, const std::string& side) {
    std::vector<ReportedRun> reported;
    for (const ResultsRun& run : runs) reported.push_back(ReportedRun{run, readRunContext(run), side});
    return reported;
}

// Files named on the command line, with directories expanded; false when a
// directory held nothing to read.
bool inputFiles(const std::vector<std::string>& arguments, std::vector<std::string>& files) {
    std::vector<std::string> errors;
    files = expandInputs(arguments, errors);
    for (const std::string& error : errors) fprintf(stderr, "lumenfold: %s\n", error.c_str());
    return errors.empty();
}

int reportCommand(const std::vector<std::string>& arguments, const std::string& format, const std::string& plot,
                  const std::string& html) {
    std::vector<std::string> files;
    const bool expanded = inputFiles(arguments, files);
    std::vector<ResultsRun> runs;
    for (const std::string& file : files) runs.push_back(readResultsFile(file));
    showProblems(runs);
    std::string out;
    if (format == "json")
        out = jsonReport(runs);
    else if (format == "csv")
        out = csvReport(runs);
    else
        out = textReport(runs);
    fputs(out.c_str(), stdout);
    fflush(stdout);

    bool plotted = true;
    if (!plot.empty()) {
        std::string error;
        std::vector<std::string> leftOut;
        const std::string script = plotScript(runs, plot, error, &leftOut);
        if (!script.empty())
            for (const std::string& file : leftOut)
                fprintf(stderr, "lumenfold: %s has no frame with a finite rate and is not in the plot\n", file.c_str());
        if (script.empty() || !drawPlot(script, error)) {
            fprintf(stderr, "lumenfold: no plot written: %s\n", error.c_str());
            plotted = false;
        }
    }
    const bool paged = html.empty() || writeHtml(withContexts(runs, ""), {}, html);
    return anyProblems(runs) || !plotted || !paged || !expanded ? 1 : 0;
}

// The page draws each figure's interval around 1 with its verdict.
std::vector<ComparedFigure> pageFigures(const Comparison& comparison) {
    std::vector<ComparedFigure> figures;
    for (const ProgramComparison& program : comparison.programs)
        for (const FigureComparison& f : program.figures)
            figures.push_back(ComparedFigure{programName(f.program), f.figure, f.label, f.ratio.estimate, f.ratio.low,
                                             f.ratio.high, verdictName(f.verdict), f.runsA, f.runsB});
    return figures;
}

int compareCommand(const std::vector<std::string>& argumentsA, const std::vector<std::string>& argumentsB,
                   const std::string& format, const std::string& html) {
    std::vector<std::string> filesA, filesB;
    const bool expandedA = inputFiles(argumentsA, filesA);
    const bool expandedB = inputFiles(argumentsB, filesB);
    const ComparedSide a = readSide(filesA);
    const ComparedSide b = readSide(filesB);
    showProblems(a.runs);
    showProblems(b.runs);

    const BootstrapOptions options;
    // About a second's resampling per 2 x 10^8 drawn frames: say what is
    // being done when a figure will take longer than that.
    const FigureProgress progress = [&options](const std::string& figure, size_t samples) {
        if (double(samples) * options.resamples > 2e8)
            fprintf(stderr, "lumenfold: resampling %s (%zu samples, %d times)...\n", figure.c_str(), samples,
                    options.resamples);
    };
    const Comparison comparison = compareSides(a, b, options, progress);
    if (comparison.programs.empty()) {
        for (const std::string& note : comparison.notes) fprintf(stderr, "lumenfold: %s\n", note.c_str());
        fprintf(stderr, "lumenfold: nothing to compare: no program has a readable run on both sides\n");
        return 1;
    }
    std::string out;
    if (format == "json") {
        out = jsonComparison(comparison);
    } else if (format == "csv") {
        out = csvComparison(comparison);
        // CSV has no place for them, but they must not go unseen.
        for (const auto& [side, warnings] : {std::pair{"A", &comparison.warningsA}, std::pair{"B", &comparison.warningsB}})
            for (const RunWarning& w : *warnings)
                fprintf(stderr, "lumenfold: %s: %s: %s\n", side, w.file.c_str(), w.message.c_str());
        for (const std::string& note : comparison.notes) fprintf(stderr, "lumenfold: %s\n", note.c_str());
    } else {
        out = textComparison(comparison);
    }
    fputs(out.c_str(), stdout);
    fflush(stdout);
    bool paged = true;
    if (!html.empty()) {
        std::vector<ReportedRun> runs = withContexts(a.runs, "A");
        for (ReportedRun& run : withContexts(b.runs, "B")) runs.push_back(std::move(run));
        paged = writeHtml(runs, pageFigures(comparison), html);
    }
    return expandedA && expandedB && paged && !anyProblems(a.runs) && !anyProblems(b.runs) ? 0 : 1;
}

// Frames of a run when neither --frames nor --seconds is given.
constexpr int defaultFrames = 5;

void addRunLimits(CLI::App* command, RunLimits& limits) {
    command->add_option("--hang-timeout", limits.hangTimeout,
                        "seconds without a new console line after which the program counts as hung")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
}

CLI::App* addRunCommand(CLI::App& app, RunOptions& options, SeriesPlan& plan) {
    CLI::App* run = app.add_subcommand(
        "run", "Start a program, press R, wait for the frames or the time, press P and Esc, answer its prompt, "
               "and report the run. Without DISPLAY it runs on a private Xvfb.");
    run->add_option("program", options.program, "triangles, cube or streaming")
        ->required()
        ->check(CLI::IsMember({"triangles", "cube", "streaming"}));
    CLI::Option* frames = run->add_option("--frames", options.limits.frames,
                                          "stop once this many frames are reported (default 5), counting the "
                                          "one drawn when the window first shows; the frame running when P "
                                          "arrives is finished and reported too")
                              ->check(CLI::Range(1, 1000000));
    CLI::Option* seconds = run->add_option("--seconds", options.limits.seconds,
                                           "stop once this many seconds have passed since R")
                               ->check(CLI::PositiveNumber);
    frames->excludes(seconds);
    run->add_option("--dir", options.directory, "working directory of the program, where its results file goes "
                                                "(default: the current directory; created if missing)");
    addRunLimits(run, options.limits);
    CLI::Option* repeat = run->add_option("--repeat", plan.repeat,
                                          "run the program this many times, each a fresh process with its own "
                                          "results and context file in the one directory")
                              ->check(CLI::Range(1, 1000));
    CLI::Option* stable = run->add_option("--until-stable", plan.stablePercent,
                                          "run at least 3 times, then until the 95% interval of the main figure "
                                          "lies within +-PCT% of its median")
                              ->check(CLI::Range(0.001, 100.0));
    CLI::Option* maxRuns = run->add_option("--max-runs", plan.maxRuns, "the most runs --until-stable makes")
                               ->capture_default_str()
                               ->check(CLI::Range(SeriesPlan::minimumStableRuns, 1000));
    repeat->excludes(stable);
    maxRuns->needs(stable);
    return run;
}

CLI::App* addSuiteCommand(CLI::App& app, SuiteOptions& options) {
    CLI::App* suite = app.add_subcommand(
        "suite", "Run triangles, cube and streaming in turn, each for 5 frames, into one directory that report "
                 "and compare take whole; ends with one summary table.");
    suite->add_option("--repeat", options.repeat, "runs of each program")->capture_default_str()->check(
        CLI::Range(1, 1000));
    suite->add_option("--dir", options.directory,
                      "where the results and context files go (default: lumenfold-suite-DATE-TIME here)");
    addRunLimits(suite, options.limits);
    options.limits.frames = defaultFrames;
    return suite;
}

}  // namespace

int main(int argc, char** argv) {
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

    std::vector<std::string> reportFiles;
    std::string reportFormat = "text";
    std::string plotPath;
    CLI::App* report = app.add_subcommand("report", "Statistics of results files of triangles, cube or streaming.");
    report->add_option("files", reportFiles, "results files, or directories of them")->required();
    report->add_option("--format", reportFormat, "text, json or csv")
        ->capture_default_str()
        ->check(CLI::IsMember({"text", "json", "csv"}));
    report->add_option("--plot", plotPath, "draw the rate per frame with gnuplot into OUT.svg or OUT.png");
    std::string reportHtml;
    report->add_option("--html", reportHtml,
                       "also write one self-contained HTML page with charts and each run's context to PAGE");

    std::vector<std::string> sideA, sideB;
    std::string compareFormat = "text";
    CLI::App* compare = app.add_subcommand(
        "compare", "Runs of B against runs of A: per program and figure, the ratio of medians B/A with a 95% "
                   "interval (hierarchical bootstrap) and a verdict.");
    compare->add_option("A", sideA, "results files or directories of side A; without --vs, exactly two files: A B")
        ->required();
    compare->add_option("--vs", sideB, "results files or directories of side B");
    compare->add_option("--format", compareFormat, "text, json or csv")
        ->capture_default_str()
        ->check(CLI::IsMember({"text", "json", "csv"}));
    std::string compareHtml;
    compare->add_option("--html", compareHtml,
                        "also write one self-contained HTML page with both sides' runs and each figure's interval");

    HistoryOptions historyOptions;
    CLI::App* history = addHistoryCommand(app, historyOptions);
    HistoryFlag historyFlag;
    for (CLI::App* command : {run, suite}) historyFlag.addTo(command);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    runOptions.finished = suiteOptions.finished = historyFlag.adder();
    if (*run) {
        if (runOptions.limits.frames == 0 && runOptions.limits.seconds == 0) runOptions.limits.frames = defaultFrames;
        if (plan.repeat > 1 || plan.stablePercent > 0) return historyFlag.status(seriesCommand(runOptions, plan));
        return historyFlag.status(runCommand(runOptions));
    }
    if (*suite) return historyFlag.status(suiteCommand(suiteOptions));
    if (*history) return historyCommand(historyOptions);
    if (*report) return reportCommand(reportFiles, reportFormat, plotPath, reportHtml);
    if (sideB.empty()) {
        if (sideA.size() != 2) {
            fprintf(stderr, "lumenfold: compare takes A B, or A... --vs B...\n");
            return 2;
        }
        sideB = {sideA[1]};
        sideA.pop_back();
    }
    return compareCommand(sideA, sideB, compareFormat, compareHtml);
}
