// A comparison as text, CSV and JSON.
#include "output/comparison_format.h"

#include <algorithm>
#include <set>

#include "common/display_text.h"
#include "common/number_text.h"
#include "model/figures.h"
#include "output/outlier_text.h"
#include "output/report_format.h"

using nlohmann::json;

namespace {

const char* directionName(Direction direction) {
    return direction == Direction::higherIsBetter ? "higher is better" : "lower is better";
}

std::string bootstrapLine(const BootstrapOptions& options) {
    return "B/A is the ratio of the medians (per side, the median of the runs' medians), with its " +
           numberText(options.confidence * 100, readableNumber) +
           "% interval\nby hierarchical bootstrap (runs, then frames within them; " +
           std::to_string(options.resamples) + " resamples, seed " + std::to_string(options.seed) +
           ").\nA change under " + numberText(noiseFloor * 100, readableNumber) + "% counts as no clear difference.";
}

std::string intervalText(const Interval& interval) {
    if (std::isnan(interval.low)) return "no interval";
    return "[" + numberText(interval.low, shortNumber) + ", " + numberText(interval.high, shortNumber) + "]";
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

json warningsJson(const std::vector<RunWarning>& warnings) {
    json out = json::array();
    for (const RunWarning& w : warnings) out.push_back({{"file", w.file}, {"message", w.message}});
    return out;
}

json slowFirstJson(const std::vector<SlowFirstFrame>& runs) {
    json out = json::array();
    for (const SlowFirstFrame& run : runs) out.push_back({{"side", run.side}, {"file", run.file}});
    return out;
}

}  // namespace

std::string bootstrapText(const BootstrapOptions& options) { return bootstrapLine(options); }

std::vector<std::string> calloutLines(const ProgramComparison& program, int skippedFrames) {
    std::vector<std::string> lines;
    // By run, the figures in which it stands apart, in the order met.
    std::vector<std::pair<std::string, std::string>> apart;   // "A: file", figures
    for (const FigureComparison& f : program.figures)
        for (const auto& [side, files] : {std::pair{"A", &f.apartA}, std::pair{"B", &f.apartB}})
            for (const std::string& file : *files) {
                const std::string run = std::string(side) + ": " + file;
                auto found = std::find_if(apart.begin(), apart.end(), [&](const auto& p) { return p.first == run; });
                if (found == apart.end())
                    apart.emplace_back(run, f.label);
                else
                    found->second += ", " + f.label;
            }
    for (const auto& [run, figures] : apart)
        lines.push_back(run + " stands apart from its side's other runs (median more than " +
                        std::to_string(int(outlierSpreads)) + " spreads from theirs) in: " + figures);
    for (const SlowFirstFrame& slow : program.slowFirst)
        lines.push_back(slow.side + ": " + slow.file + ": " + slowFirstFrameLine(skippedFrames));
    return lines;
}

std::vector<std::string> comparisonNotes(const Comparison& comparison) {
    std::vector<std::string> notes;
    if (comparison.skippedFrames > 0) notes.push_back(skipLine(comparison.skippedFrames));
    for (const ConditionDifference& difference : comparison.differences) notes.push_back(difference.line);
    for (const auto& [side, warnings] : {std::pair{"A", &comparison.warningsA}, std::pair{"B", &comparison.warningsB}})
        for (const RunWarning& w : *warnings) notes.push_back(std::string(side) + ": " + w.file + ": " + w.message);
    for (const ProgramComparison& program : comparison.programs)
        for (const std::string& line : calloutLines(program, comparison.skippedFrames))
            notes.push_back(std::string(programName(program.program)) + ": " + line);
    notes.insert(notes.end(), comparison.notes.begin(), comparison.notes.end());
    return notes;
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

    for (const ProgramComparison& program : comparison.programs) {
        out += "\n== " + std::string(programName(program.program)) + ": " + runCount(program.filesA.size()) +
               " in A, " + runCount(program.filesB.size()) + " in B\n";
        size_t labelWidth = 14;
        for (const FigureComparison& f : program.figures) labelWidth = std::max(labelWidth, f.label.size() + 2);
        out += "  " + padRight("figure", labelWidth) + padLeft("runs A/B", 9) + padLeft("median A", 13) +
               padLeft("median B", 13) + padLeft("B/A", 9) + "   " + padRight("95% interval", 20) + "verdict\n";
        for (const FigureComparison& f : program.figures) {
            out += "  " + padRight(f.label, labelWidth) +
                   padLeft(std::to_string(f.runsA) + "/" + std::to_string(f.runsB), 9) +
                   padLeft(numberText(f.medianA, readableNumber), 13) + padLeft(numberText(f.medianB, readableNumber), 13) +
                   padLeft(numberText(f.ratio.estimate, shortNumber), 9) + "   " + padRight(intervalText(f.ratio), 20) +
                   verdictName(f.verdict) + "\n";
        }
        for (const std::string& line : calloutLines(program, comparison.skippedFrames)) out += "  " + line + "\n";
        for (const std::string& note : program.notes) out += "  note: " + note + "\n";
    }
    if (!comparison.notes.empty()) out += "\n";
    for (const std::string& note : comparison.notes) out += "note: " + note + "\n";
    out += "\n" + bootstrapLine(comparison.bootstrap) + "\n";
    return out;
}

std::string csvComparison(const Comparison& comparison) {
    std::string out =
        "program,figure,step,direction,runs_a,runs_b,samples_a,samples_b,median_a,median_b,ratio,ci_low,ci_high,"
        "verdict,frames_only,skipped_frames,runs_apart_a,runs_apart_b\n";
    const auto files = [](const std::vector<std::string>& list) {
        std::string joined;
        for (const std::string& file : list) joined += (joined.empty() ? "" : "; ") + file;
        return csvField(joined);
    };
    for (const ProgramComparison& program : comparison.programs)
        for (const FigureComparison& f : program.figures)
            out += std::string(programName(f.program)) + "," + f.figure + "," +
                   (f.step > 0 ? std::to_string(f.step) : "") + "," + directionName(f.direction) + "," +
                   std::to_string(f.runsA) + "," + std::to_string(f.runsB) + "," + std::to_string(f.samplesA) + "," +
                   std::to_string(f.samplesB) + "," + numberText(f.medianA, cellNumber) + "," +
                   numberText(f.medianB, cellNumber) + "," + numberText(f.ratio.estimate, cellNumber) + "," +
                   numberText(f.ratio.low, cellNumber) + "," + numberText(f.ratio.high, cellNumber) + "," + verdictName(f.verdict) + "," + (f.framesOnly ? "yes" : "no") + "," +
                   std::to_string(comparison.skippedFrames) + "," + files(f.apartA) + "," + files(f.apartB) + "\n";
    return out;
}

json comparisonJson(const Comparison& comparison) {
    const BootstrapOptions& options = comparison.bootstrap;
    json out;
    out["bootstrap"] = {{"method", "hierarchical: runs with replacement, then frames within each drawn run"},
                        {"statistic", "median of the runs' medians"},
                        {"resamples", options.resamples},
                        {"seed", options.seed},
                        {"confidence", options.confidence},
                        {"noiseFloor", noiseFloor}};
    out["a"] = {{"files", comparison.filesA},
                {"warnings", warningsJson(comparison.warningsA)},
                {"withoutContext", comparison.withoutContextA}};
    out["b"] = {{"files", comparison.filesB},
                {"warnings", warningsJson(comparison.warningsB)},
                {"withoutContext", comparison.withoutContextB}};
    json programs = json::array();
    json figures = json::array();
    for (const ProgramComparison& program : comparison.programs) {
        programs.push_back({{"program", programName(program.program)},
                            {"filesA", program.filesA},
                            {"filesB", program.filesB},
                            {"notes", program.notes},
                            {"slowFirstFrame", slowFirstJson(program.slowFirst)}});
        for (const FigureComparison& f : program.figures) {
            json figure = {{"program", programName(f.program)},
                           {"figure", f.figure},
                           {"label", f.label},
                           {"direction", directionName(f.direction)},
                           {"ratio", numberJson(f.ratio.estimate)},
                           {"ciLow", numberJson(f.ratio.low)},
                           {"ciHigh", numberJson(f.ratio.high)},
                           {"verdict", verdictName(f.verdict)},
                           {"runsA", f.runsA},
                           {"runsB", f.runsB},
                           {"samplesA", f.samplesA},
                           {"samplesB", f.samplesB},
                           {"medianA", numberJson(f.medianA)},
                           {"medianB", numberJson(f.medianB)},
                           {"framesOnly", f.framesOnly},
                           {"standingApartA", f.apartA},
                           {"standingApartB", f.apartB}};
            if (f.step > 0) figure["step"] = f.step;
            figures.push_back(figure);
        }
    }
    out["programs"] = programs;
    out["figures"] = figures;
    out["notes"] = comparison.notes;
    out["skippedFrames"] = comparison.skippedFrames;
    json differences = json::array();
    for (const ConditionDifference& d : comparison.differences) differences.push_back({{"label", d.label}, {"line", d.line}});
    out["differences"] = differences;
    return out;
}

std::string jsonComparison(const Comparison& comparison) { return comparisonJson(comparison).dump(2) + "\n"; }
