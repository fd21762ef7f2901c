#include "output/run_words.h"

#include "analysis/machine_state.h"
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

std::vector<std::string> timingLines(const ResultsRun& run) {
    std::vector<std::string> lines;
    const TimedFrames& timing = run.timing;
    if (!timing.present) return lines;
    lines.push_back("timed (" + timing.file + "): GPU time " +
                    (timing.gpuAvailable ? "by " + timing.gpuNote : "not measured: " + timing.gpuNote));
    if (timing.unmatched > 0)
        lines.push_back(std::to_string(timing.unmatched) + " of " + std::to_string(timing.frames.size()) +
                        " frames have no drawing in the timing file, so no times");
    if (!timing.problems.empty())
        lines.push_back("the timing file has " + std::to_string(timing.problems.size()) +
                        " problem(s); the first: " + timing.problems.front().message);
    return lines;
}

std::vector<std::string> machineLines(const ResultsRun& run) {
    std::vector<std::string> lines;
    if (!run.machine) return lines;
    const SamplesSummary& m = *run.machine;
    lines.push_back("the machine while it ran (" + std::to_string(m.samples) + " samples over " +
                    numberText(m.seconds, shortNumber) + " s), min / median / max:");
    for (const SensorSummary& s : m.sensors) {
        if (s.count == 0) {
            lines.push_back("  " + s.key + ": no reading");
            continue;
        }
        lines.push_back("  " + s.key + ": " + sensorValueText(s.min, s.unit) + " / " +
                        sensorValueText(s.median, s.unit) + " / " + sensorValueText(s.max, s.unit));
    }
    for (const EnergyMeter& e : m.energy) {
        std::string line = "energy (" + e.key + (e.fromCounter ? ", its counter" : ", its power integrated") +
                           "): " + numberText(e.joules, shortNumber) + " J over " + numberText(e.seconds, shortNumber) +
                           " s" + (e.partial ? " (readings missing)" : "");
        if (const std::optional<FrameEnergy> f = frameEnergy(e, frameCount(run)))
            line += "; " + numberText(f->joulesPerFrame, shortNumber) + " J/frame, " +
                    numberText(f->framesPerJoule, shortNumber) + " frames/J";
        lines.push_back(line);
    }
    return lines;
}
