#include "commands/report_command.h"

#include "commands/command_options.h"
#include "commands/runs_input.h"
#include "common/messages.h"
#include "common/process.h"
#include "output/formats.h"
#include "output/plot_script.h"
#include "programs/programs.h"

namespace {

// Hands the script to gnuplot on its standard input; its messages reach the terminal.
bool drawPlot(const std::string& script, std::string& error) {
    const ToolRun gnuplot = runWithInput({"gnuplot"}, script, true);
    if (gnuplot.ok) return true;
    error = gnuplot.missing ? "gnuplot is not installed (Debian package gnuplot-nox)"
                            : gnuplot.error + "; its messages are above";
    return false;
}

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

}  // namespace

CLI::App* addReportCommand(CLI::App& app, ReportOptions& options) {
    CLI::App* report = app.add_subcommand("report", "Statistics of results files of " + programList() + ".");
    report->add_option("files", options.files, "results files, or directories of them")->required();
    options.format = outputFormats().front().name;
    addFormat(report, options.format);
    addSkipFrames(report, options.skipFrames);
    report->add_option("--plot", options.plot, "draw the rate per frame with gnuplot into OUT.svg or OUT.png");
    report->add_option("--html", options.html,
                       "also write one self-contained HTML page with charts and each run's context to PAGE");
    return report;
}

int reportCommand(const ReportOptions& options) {
    std::vector<std::string> files;
    const bool expanded = inputFiles(options.files, files);
    std::vector<ReportedRun> read = readReportedRuns(files);
    const bool problems = showProblems(read);
    const std::vector<ReportedRun> runs = skippingFrames(std::move(read), options.skipFrames);
    printOut(outputFormat(options.format).report(runs));
    const bool plotted = options.plot.empty() || plotRuns(runs, options.plot);
    const bool paged = options.html.empty() || writeRunsPage(runs, {}, options.html);
    return problems || !plotted || !paged || !expanded ? 1 : 0;
}
