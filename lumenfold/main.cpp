// lumenfold: runs the benchmark programs unattended and reports their results files.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <sys/wait.h>

#include "report_format.h"
#include "run_command.h"
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

int reportCommand(const std::vector<std::string>& files, const std::string& format, const std::string& plot) {
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
    return anyProblems(runs) || !plotted ? 1 : 0;
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

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Runs the Lumenfold benchmark programs unattended and reports their results files."};
    app.set_version_flag("--version", LUMENFOLD_VERSION);
    app.require_subcommand(1);

    RunOptions runOptions;
    runOptions.command = shellQuoted(argc, argv);
    CLI::App* run = app.add_subcommand(
        "run", "Start a program, press R, wait for the frames or the time, press P and Esc, answer its prompt, "
               "and report the run. Without DISPLAY it runs on a private Xvfb.");
    run->add_option("program", runOptions.program, "triangles, cube or streaming")
        ->required()
        ->check(CLI::IsMember({"triangles", "cube", "streaming"}));
    CLI::Option* frames = run->add_option("--frames", runOptions.limits.frames,
                                          "stop once this many frames are reported (default 5), counting the "
                                          "one drawn when the window first shows; the frame running when P "
                                          "arrives is finished and reported too")
                              ->check(CLI::Range(1, 1000000));
    CLI::Option* seconds = run->add_option("--seconds", runOptions.limits.seconds, "stop once this many seconds have passed since R")
                               ->check(CLI::PositiveNumber);
    frames->excludes(seconds);
    run->add_option("--dir", runOptions.directory, "working directory of the program, where its results file goes "
                                                   "(default: the current directory; created if missing)");
    run->add_option("--hang-timeout", runOptions.limits.hangTimeout,
                    "seconds without a new console line after which the program counts as hung")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);

    std::vector<std::string> reportFiles;
    std::string reportFormat = "text";
    std::string plotPath;
    CLI::App* report = app.add_subcommand("report", "Statistics of results files of triangles, cube or streaming.");
    report->add_option("files", reportFiles, "results files")->required();
    report->add_option("--format", reportFormat, "text, json or csv")
        ->capture_default_str()
        ->check(CLI::IsMember({"text", "json", "csv"}));
    report->add_option("--plot", plotPath, "draw the rate per frame with gnuplot into OUT.svg or OUT.png");

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
        if (runOptions.limits.frames == 0 && runOptions.limits.seconds == 0) runOptions.limits.frames = 5;
        return runCommand(runOptions);
    }
    if (*report) return reportCommand(reportFiles, reportFormat, plotPath);
    return compareCommand(fileA, fileB, compareFormat);
}
