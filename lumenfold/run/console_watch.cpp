#include "run/console_watch.h"

#include <cstring>

#include "text_format.h"
#include "programs/programs.h"

namespace {

// The number a report line of this format carries, as printed.
bool numberIn(const std::string& line, NumberLine format, std::string& number) {
    const size_t prefix = strlen(format.prefix), suffix = strlen(format.suffix);
    if (line.size() <= prefix + suffix || !line.starts_with(format.prefix) || !line.ends_with(format.suffix))
        return false;
    number = line.substr(prefix, line.size() - prefix - suffix);
    return true;
}

// The program's report line that ends a frame (or one kernel's block of
// it), and the figure the progress shows: the number as printed, its unit.
void watchFrameLine(ConsoleWatch& watch, const std::string& line) {
    if (watch.program == nullptr) return;
    const ConsoleFrame& console = watch.program->console;
    const ResultsLayout& results = watch.program->results;
    for (size_t k = 0; k < results.kernels.size(); ++k)
        if (line == kernelNameLine(results.kernels[k])) watch.kernel = int(k);
    std::string figure;
    if (!numberIn(line, console.endLine, figure)) return;
    if (!results.byKernel()) {
        ++watch.frames;
        watch.latestFigure = figure + " " + console.unit;
        return;
    }
    if (watch.kernel < 0) return;
    if (watch.kernel == console.figureKernel) watch.latestFigure = figure + " " + console.unit;
    if (size_t(watch.kernel) == results.kernels.size() - 1) ++watch.frames;
    watch.kernel = -1;
}

}  // namespace

void watchConsoleLine(ConsoleWatch& watch, const std::string& line) {
    if (line.starts_with(setupLine.prefix) && line.ends_with(setupLine.suffix)) {
        watch.setupDone = true;
    } else if (line == pressEnterLine) {
        watch.promptSeen = true;
    } else if (line.starts_with(savedLead)) {
        watch.resultsSaved = true;
        watch.resultsPath = line.substr(strlen(savedLead));
    } else if (line.starts_with(notCreatedLead)) {
        watch.resultsNotSaved = true;
        watch.resultsPath = line.substr(strlen(notCreatedLead));
    } else if (line.starts_with(notAllSavedLead)) {
        watch.resultsIncomplete = true;
        watch.resultsPath = line.substr(strlen(notAllSavedLead));
    }
    watchFrameLine(watch, line);
}

void watchErrorLine(ConsoleWatch& watch, const std::string& line) {
    if (watch.writeFailure.empty() && line.starts_with(writeFailedLead) && line.ends_with(writeFailedTail) &&
        line.find(writeFailedMiddle) != std::string::npos)
        watch.writeFailure = line;
}

std::string resultsShortfall(const ConsoleWatch& watch, int framesInFile) {
    const std::string program = programName(watch.program);
    std::string why;
    if (!watch.writeFailure.empty())
        why = program + " could not write its results file (it said: " + watch.writeFailure + ")";
    else if (watch.resultsIncomplete)
        why = program + " said writing its results file failed at " + watch.resultsPath;
    if (framesInFile < watch.frames) {
        const std::string count = "the results file holds " + std::to_string(framesInFile) + " of the " +
                                  std::to_string(watch.frames) + " frames the console showed";
        why = why.empty() ? count : why + "; " + count;
    }
    return why;
}
