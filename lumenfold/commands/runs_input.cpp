#include "commands/runs_input.h"

#include <cstdio>

#include "common/display_text.h"
#include "common/files.h"
#include "common/messages.h"
#include "common/version.h"
#include "analysis/outliers.h"
#include "model/input_files.h"
#include "output/html_report.h"
#include "output/run_words.h"

bool inputFiles(const std::vector<std::string>& arguments, std::vector<std::string>& files) {
    std::vector<std::string> errors;
    files = expandInputs(arguments, errors);
    for (const std::string& error : errors) tell(error);
    return errors.empty();
}

bool showProblems(const std::vector<ReportedRun>& runs) {
    bool any = false;
    for (const ReportedRun& r : runs) {
        for (const Problem& problem : r.run.problems) tell(problemText(r.run, problem));
        if (!r.context.problem.empty()) tell(r.context.problem);
        any = any || !r.run.problems.empty();
    }
    return any;
}

std::vector<ReportedRun> skippingFrames(std::vector<ReportedRun> runs, int k) {
    if (k <= 0) return runs;
    for (ReportedRun& reported : runs) {
        reported.run = skipFrames(reported.run, k);
        reported.skippedFrames = k;
    }
    return runs;
}

void printOut(const std::string& text) {
    fputs(text.c_str(), stdout);
    fflush(stdout);
}

bool writeRunsPage(const std::vector<ReportedRun>& runs, const std::vector<FigureComparison>& figures,
                   const std::string& path, const std::vector<std::string>& notes) {
    std::string error;
    if (writeWholeFile(path, htmlPage(runs, figures, chartLibrary(), lumenfoldWithVersion(), notes), error))
        return true;
    tell("no HTML page written: " + displayText(error));
    return false;
}
