#include "output/run_words.h"

#include "common/number_text.h"
#include "model/figures.h"

namespace {

std::string text(double value) { return numberText(value, readableNumber); }

}  // namespace

std::string programLabel(const ResultsRun& run) {
    return run.recognised ? programName(run.program) : "unrecognised";
}

std::string runHeadline(const ResultsRun& run) {
    std::string line = "program " + programLabel(run) + ", " + std::to_string(frameCount(run)) + " frame" +
                       (frameCount(run) == 1 ? "" : "s");
    if (run.hasSetup) line += ", set-up " + text(run.setupSeconds) + " s";
    if (run.summary.present) {
        line += "; its own summary: " + text(run.summary.totalSeconds) + " s in frames, " +
                text(run.summary.averageAnglesPerSecond) + " angles/s";
        if (hasField(run.program->results.summary, LineField::averageVertices))
            line += ", " + text(run.summary.averageVerticesPerSecond) + " " + run.program->results.rate.rateName;
    }
    return line;
}

std::string problemText(const ResultsRun& run, const Problem& problem) {
    if (problem.line <= 0) return run.path + ": " + problem.message;
    return run.path + ":" + std::to_string(problem.line) + ": " + problem.message;
}
