#include "run/console_watch.h"

#include <cstring>

#include "text_format.h"

namespace {

// The number a report line of this format carries, as printed.
bool numberIn(const std::string& line, NumberLine format, std::string& number) {
    const size_t prefix = strlen(format.prefix), suffix = strlen(format.suffix);
    if (line.size() <= prefix + suffix || !line.starts_with(format.prefix) || !line.ends_with(format.suffix))
        return false;
    number = line.substr(prefix, line.size() - prefix - suffix);
    return true;
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
    // Each program's last report line of a frame ends the frame; the main
    // figure is the one the series judges by.
    std::string figure;
    switch (watch.program) {
        case Program::triangles:
            if (numberIn(line, trianglesRateLine, figure)) {
                ++watch.frames;
                watch.latestFigure = figure + " triangles/s";
            }
            break;
        case Program::cube:
            if (numberIn(line, verticesRateLine, figure)) {
                ++watch.frames;
                watch.latestFigure = figure + " vertices/s";
            }
            break;
        case Program::streaming:
            for (int k = 0; k < streamingKernelCount; ++k)
                if (line == kernelNameLines[k]) watch.kernel = k;
            if (watch.kernel >= 0 && numberIn(line, kernelRateLine, figure)) {
                if (watch.kernel == 0) watch.latestFigure = figure + " " + kernelName(0) + " M executions/s";
                if (watch.kernel == streamingKernelCount - 1) ++watch.frames;
                watch.kernel = -1;
            }
            break;
    }
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
