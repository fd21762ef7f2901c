// lumenfold: runs the benchmark programs unattended and reports their results files.

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sys/wait.h>

#include "display_text.h"
#include "html_report.h"
#include "report_format.h"
#include "run_command.h"
#include "series_command.h"
#include "run_support.h"

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

int reportCommand(const std::vector<std::string>& files, const std::string& format, const std::string& plot,
                  const std::string& html) {
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
    return anyProblems(runs) || !plotted || !paged ? 1 : 0;
}

int compareCommand(const std::string& fileA, const std::string& fileB, const std::string& format) {
    const ResultsRun a = readResultsFile(fileA);
    const ResultsRun b = readResultsFile(fileB);
    showProblems({a, b});
    std::string error;
    if (!comparable(a, b, error)) {
        fprintf(stderr, "lumenfold: %s\n", error.c_str());
        return 1;
    }
    std::string out;
    if (format == "json")
        out = jsonComparison(a, b);
    else if (format == "csv")
        out = csvComparison(a, b);
    else
        out = textComparison(a, b);
    fputs(out.c_str(), stdout);
    return a.problems.empty() && b.problems.empty() ? 0 : 1;
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
    report->add_option("files", reportFiles, "results files")->required();
    report->add_option("--format", reportFormat, "text, json or csv")
        ->capture_default_str()
        ->check(CLI::IsMember({"text", "json", "csv"}));
    report->add_option("--plot", plotPath, "draw the rate per frame with gnuplot into OUT.svg or OUT.png");
    std::string reportHtml;
    report->add_option("--html", reportHtml,
                       "also write one self-contained HTML page with charts and each run's context to PAGE");

    std::string fileA, fileB;
    std::string compareFormat = "text";
    CLI::App* compare = app.add_subcommand("compare", "Two runs of one program side by side, with the ratio B/A.");
    compare->add_option("A", fileA, "results file A")->required();
    compare->add_option("B", fileB, "results file B")->required();
    compare->add_option("--format", compareFormat, "text, json or csv")
        ->capture_default_str()
        ->check(CLI::IsMember({"text", "json", "csv"}));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    if (*run) {
        if (runOptions.limits.frames == 0 && runOptions.limits.seconds == 0) runOptions.limits.frames = defaultFrames;
        if (plan.repeat > 1 || plan.stablePercent > 0) return seriesCommand(runOptions, plan);
        return runCommand(runOptions);
    }
    if (*suite) return suiteCommand(suiteOptions);
    if (*report) return reportCommand(reportFiles, reportFormat, plotPath, reportHtml);
    return compareCommand(fileA, fileB, compareFormat);
}
