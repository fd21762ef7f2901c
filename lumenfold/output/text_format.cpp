#include "output/text_format.h"

#include <algorithm>

#include "common/display_text.h"
#include "common/number_text.h"
#include "model/figures.h"
#include "output/alert_format.h"
#include "output/comparison_words.h"
#include "output/interval_format.h"
#include "output/outlier_text.h"
#include "output/run_figures.h"
#include "output/run_words.h"

namespace {

std::string text(double value) { return numberText(value, readableNumber); }

std::string padLeft(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string padRight(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string statisticsTable(const std::vector<Figure>& figures) {
    size_t labelWidth = 20;
    for (const Figure& f : figures) labelWidth = std::max(labelWidth, f.label.size() + 2);
    std::string out = "  " + padRight("", labelWidth) + padLeft("count", 7);
    for (const char* name : statisticNames) out += padLeft(name, 13);
    out += "\n";
    for (const Figure& f : figures) {
        out += "  " + padRight(f.label, labelWidth) + padLeft(std::to_string(f.stats.count), 7);
        for (int s = 0; s < statisticCount; ++s) out += padLeft(text(statisticValue(f.stats, s)), 13);
        out += "\n";
    }
    return out;
}

std::string byStepTable(const ResultsRun& run) {
    const std::string rate = frameRateFigure(run.program)->label;
    std::string out = "  " + rate + " by step:\n";
    out += "  " + padLeft("step", 8) + padLeft(run.program->steps.countName, 13) + padLeft("frame time (s)", 16) +
           padLeft(rate, 14) + "\n";
    for (const Frame& frame : run.frames) {
        out += "  " + padLeft(std::to_string(frame.step), 8) + padLeft(text(frame.triangles), 13) +
               padLeft(text(frame.seconds), 16) + padLeft(text(frame.rate), 14) + "\n";
    }
    return out;
}

std::string runText(const ReportedRun& reported) {
    const ResultsRun& run = reported.run;
    std::string out = "== " + run.path + "\n";
    if (!run.recognised)
        return out + "  not read: " + (run.problems.empty() ? std::string("?") : run.problems.front().message) + "\n";
    out += "  " + runHeadline(run) + "\n";
    if (reported.validation()) return out + "  " + validationNote + "\n";
    if (!run.problems.empty())
        out += "  incomplete or damaged: " + std::to_string(run.problems.size()) +
               " problem(s), listed on standard error; what could be read is below\n";
    for (const std::string& line : timingLines(run)) out += "  " + line + "\n";
    out += statisticsTable(runFigures(run));
    if (const std::vector<RunTail> tails = runTails(run); anyTail(tails)) out += "  " + tailsText(tails) + "\n";
    for (const std::string& line : machineLines(run)) out += "  " + line + "\n";
    for (const std::string& line : outlierLines(shownOutliers(run, reported.skippedFrames), reported.skippedFrames))
        out += "  stands out: " + line + "\n";
    if (run.program->hasSteps() && !run.frames.empty()) out += byStepTable(run);
    return out;
}

std::string warningsText(const char* side, const std::vector<RunWarning>& warnings,
                         const std::vector<std::string>& withoutContext, size_t files) {
    std::string out;
    for (const RunWarning& w : warnings) out += "  " + std::string(side) + ": " + w.file + ": " + w.message + "\n";
    if (warnings.empty() && withoutContext.size() < files) out += "  " + std::string(side) + ": none reported\n";
    if (withoutContext.size() == 1)
        out += "  " + std::string(side) + ": " + withoutContext.front() +
               " has no readable context file, so its conditions are unknown\n";
    else if (!withoutContext.empty())
        out += "  " + std::string(side) + ": " + std::to_string(withoutContext.size()) + " of " + std::to_string(files) +
               " runs have no readable context file, so their conditions are unknown\n";
    return out;
}

std::string programText(const ProgramComparison& program, int skippedFrames) {
    std::string out = "\n== " + std::string(programName(program.program)) + ": " + runCount(program.filesA.size()) +
                      " in A, " + runCount(program.filesB.size()) + " in B\n";
    size_t labelWidth = 14;
    for (const FigureComparison& f : program.figures) labelWidth = std::max(labelWidth, f.label.size() + 2);
    out += "  " + padRight("figure", labelWidth) + padLeft("runs A/B", 9) + padLeft("median A", 13) +
           padLeft("median B", 13) + padLeft("B/A", 9) + "   " + padRight("95% interval", 20) + "verdict\n";
    for (const FigureComparison& f : program.figures) {
        out += "  " + padRight(f.label, labelWidth) +
               padLeft(std::to_string(f.runsA) + "/" + std::to_string(f.runsB), 9) + padLeft(text(f.medianA), 13) +
               padLeft(text(f.medianB), 13) + padLeft(numberText(f.ratio.estimate, shortNumber), 9) + "   " +
               padRight(intervalText(f.ratio, shortNumber), 20) + verdictName(f.verdict) + "\n";
    }
    for (const std::string& line : calloutLines(program, skippedFrames)) out += "  " + line + "\n";
    for (const std::string& note : program.notes) out += "  note: " + note + "\n";
    return out;
}

std::string findingText(const Finding& f) {
    const Series& s = *f.series;
    const StoredRun& first = *s.runs[f.point.index];
    std::string out = displayText(s.machine) + "  " + s.program + "  " + s.figure + ": change before run " +
                      std::to_string(f.point.index + 1) + " of " + std::to_string(s.runs.size()) + " (id " +
                      std::to_string(first.id) + ", " + displayText(first.started) + ", " +
                      displayText(first.sourceFile) + ")\n  median " + text(f.point.medianBefore) + " -> " +
                      text(f.point.medianAfter) + ", after/before " + ratioText(f.point.ratio, changeRatioNumber) +
                      ", " + verdictName(f.point.verdict) + "\n";
    for (const auto& [key, values] : f.changed)
        out += "  changed " + displayText(key) + ": " + displayText(values.first) + " -> " +
               displayText(values.second) + "\n";
    if (f.changed.empty()) out += "  nothing recorded in the context changed\n";
    const std::string bisect = bisectSuggestion(s, f.changed);
    if (!bisect.empty()) out += "  to find the commit: " + displayText(bisect) + "\n";
    return out;
}

}  // namespace

std::string textReport(const std::vector<ReportedRun>& runs) {
    std::string out;
    if (!runs.empty() && runs.front().skippedFrames > 0) out += skipLine(runs.front().skippedFrames) + "\n\n";
    for (size_t i = 0; i < runs.size(); ++i) out += (i > 0 ? "\n" : "") + runText(runs[i]);
    return out;
}

std::string textComparison(const Comparison& comparison) {
    std::string out;
    for (const auto& [name, files] : {std::pair{"A", &comparison.filesA}, std::pair{"B", &comparison.filesB}}) {
        out += std::string(name) + ": " + std::to_string(files->size()) + (files->size() == 1 ? " file\n" : " files\n");
        for (const std::string& file : *files) out += "   " + file + "\n";
    }
    if (comparison.skippedFrames > 0) out += "\n" + skipLine(comparison.skippedFrames) + "\n";
    out += "\nMachine conditions\n";
    out += warningsText("A", comparison.warningsA, comparison.withoutContextA, comparison.filesA.size());
    out += warningsText("B", comparison.warningsB, comparison.withoutContextB, comparison.filesB.size());
    for (const ConditionDifference& difference : comparison.differences) out += "  " + difference.line + "\n";
    for (const ProgramComparison& program : comparison.programs) out += programText(program, comparison.skippedFrames);
    if (!comparison.notes.empty()) out += "\n";
    for (const std::string& note : comparison.notes) out += "note: " + note + "\n";
    out += "\n" + bootstrapText(comparison.bootstrap) + "\n";
    return out;
}

std::string changePointsLine(size_t findings, size_t seriesChecked) {
    return std::to_string(findings) + " change point" + (findings == 1 ? "" : "s") + " in " +
           std::to_string(seriesChecked) + " series";
}

std::string textFindings(const std::vector<Finding>& findings, size_t seriesChecked) {
    std::string out;
    for (const Finding& f : findings) out += findingText(f);
    return out + changePointsLine(findings.size(), seriesChecked) + "\n";
}

std::string textRunList(const std::vector<StoredRun>& runs) {
    std::string out = padLeft("id", 6) + "  " + padRight("machine", 16) + " " + padRight("program", 10) + " " +
                      padRight("started", 25) + " " + padLeft("frames", 7) + "  file\n";
    for (const StoredRun& r : runs)
        out += padLeft(std::to_string(r.id), 6) + "  " + padRight(displayText(r.machine), 16) + " " +
               padRight(r.program, 10) + " " + padRight(displayText(r.started), 25) + " " +
               padLeft(std::to_string(r.frames), 7) + "  " + displayText(r.sourceFile) +
               (r.excluded ? "  [excluded: " + displayText(r.excludeReason) + "]" : "") + "\n";
    return out + std::to_string(runs.size()) + " run" + (runs.size() == 1 ? "" : "s") + "\n";
}

std::string textAlerts(const std::vector<Alert>& alerts, const std::vector<long long>& groups) {
    std::string out = padLeft("id", 6) + "  " + padRight("state", 13) + " " + padLeft("group", 6) + "  alert\n";
    for (size_t i = 0; i < alerts.size(); ++i) {
        out += padLeft(std::to_string(alerts[i].id), 6) + "  " + padRight(alertStateName(alerts[i].state), 13) + " " +
               padLeft(std::to_string(groups[i]), 6) + "  " + alertSummary(alerts[i]) + "\n";
        if (!alerts[i].note.empty())
            out += "        note by " + displayText(alerts[i].by) + ": " + displayText(alerts[i].note) + "\n";
    }
    return out + std::to_string(alerts.size()) + (alerts.size() == 1 ? " alert\n" : " alerts\n");
}
