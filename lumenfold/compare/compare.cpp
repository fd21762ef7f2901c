#include "compare/compare.h"

#include <algorithm>
#include <set>

#include "common/display_text.h"
#include "common/number_text.h"
#include "compare/outliers.h"
#include "figures/figures.h"
#include "report/outlier_text.h"
#include "report/report_format.h"

using nlohmann::json;

namespace {

std::vector<const ResultsRun*> runsOf(const ComparedSide& side, Program program) {
    std::vector<const ResultsRun*> runs;
    for (const ResultsRun& run : side.runs)
        if (run.recognised && run.program == program &&
            std::find(side.validation.begin(), side.validation.end(), run.path) == side.validation.end())
            runs.push_back(&run);
    return runs;
}

RunSamples samplesOf(const std::vector<const ResultsRun*>& runs, const FigureSpec& figure, const std::set<long>& steps,
                     int& contributing, size_t& samples) {
    RunSamples out;
    contributing = 0;
    samples = 0;
    for (const ResultsRun* run : runs) {
        std::vector<double> values = figureSamples(*run, figure, &steps);
        size_t defined = 0;
        for (double v : values) defined += std::isnan(v) ? 0 : 1;
        contributing += defined > 0 ? 1 : 0;
        samples += defined;
        out.push_back(std::move(values));
    }
    return out;
}

// Steps a triangles run drew.
std::set<long> stepsOf(const ResultsRun& run) {
    std::set<long> steps;
    for (const Frame& f : run.frames) steps.insert(trianglesStep(f.triangles));
    return steps;
}

// A triangles frame's work grows with its step, so frames are compared only
// at steps every run on both sides drew; anything else would compare depth
// of run rather than speed.
std::set<long> commonSteps(const std::vector<const ResultsRun*>& a, const std::vector<const ResultsRun*>& b,
                           std::set<long>& partial) {
    std::set<long> common;
    bool first = true;
    for (const auto* side : {&a, &b}) {
        for (const ResultsRun* run : *side) {
            const std::set<long> steps = stepsOf(*run);
            partial.insert(steps.begin(), steps.end());
            if (first) {
                common = steps;
                first = false;
                continue;
            }
            std::set<long> kept;
            std::set_intersection(common.begin(), common.end(), steps.begin(), steps.end(),
                                  std::inserter(kept, kept.begin()));
            common = std::move(kept);
        }
    }
    for (long step : common) partial.erase(step);
    return common;
}

// The figures compared: every figure of the program; for triangles, frame
// figures only at the steps every run drew, and the per-step family's
// member at each of those steps.
std::vector<FigureSpec> comparedFigures(Program program, const std::set<long>& steps) {
    std::vector<FigureSpec> figures;
    for (const FigureSpec& figure : programFigures(program)) {
        if (program == Program::triangles && !figure.perRun() && steps.empty()) continue;
        if (!figure.perStep) {
            figures.push_back(figure);
            continue;
        }
        for (long step : steps) figures.push_back(figureAtStep(figure, step));
    }
    return figures;
}

std::string runCount(size_t runs) { return std::to_string(runs) + (runs == 1 ? " run" : " runs"); }

// "steps 1, 4, 5", or "12 steps between 41 and 60" when there are many.
std::string stepList(const std::set<long>& steps) {
    if (steps.size() > 8)
        return std::to_string(steps.size()) + " steps between " + std::to_string(*steps.begin()) + " and " +
               std::to_string(*steps.rbegin());
    std::string text = steps.size() == 1 ? "step " : "steps ";
    for (long step : steps) text += (step == *steps.begin() ? "" : ", ") + std::to_string(step);
    return text;
}

// The files of runs whose median stands apart from the other runs' medians.
std::vector<std::string> runsApart(const std::vector<const ResultsRun*>& runs, const RunSamples& samples) {
    std::vector<double> medians;
    std::vector<std::string> files;
    for (size_t r = 0; r < runs.size() && r < samples.size(); ++r) {
        const double median = robustCentre(samples[r]).median;
        if (std::isnan(median)) continue;
        medians.push_back(median);
        files.push_back(runs[r]->path);
    }
    std::vector<std::string> apart;
    for (size_t r : runsStandingApart(medians)) apart.push_back(files[r]);
    return apart;
}

// False, with a note, when a side has no sample of the figure.
bool compareFigure(const FigureSpec& spec, const std::vector<const ResultsRun*>& a,
                   const std::vector<const ResultsRun*>& b, const std::set<long>& steps,
                   const BootstrapOptions& options, const FigureProgress& progress, ProgramComparison& out) {
    FigureComparison figure;
    figure.program = spec.program;
    figure.figure = spec.key;
    figure.label = spec.label;
    figure.step = spec.step > 0 ? spec.step : 0;
    figure.direction = spec.direction;
    const RunSamples samplesA = samplesOf(a, spec, steps, figure.runsA, figure.samplesA);
    const RunSamples samplesB = samplesOf(b, spec, steps, figure.runsB, figure.samplesB);
    if (figure.runsA == 0 || figure.runsB == 0) {
        out.notes.push_back(spec.label + ": no run of " + (figure.runsA == 0 ? "A" : "B") + " reported it");
        return false;
    }
    if (progress)
        progress(std::string(programName(spec.program)) + " " + spec.label, figure.runsA + figure.runsB,
                 figure.samplesA + figure.samplesB);
    figure.medianA = medianOfRunMedians(samplesA);
    figure.medianB = medianOfRunMedians(samplesB);
    figure.ratio = ratioInterval(samplesA, samplesB, options);
    figure.verdict = verdictFor(figure.ratio, figure.direction);
    figure.framesOnly = (figure.runsA == 1 || figure.runsB == 1) && !std::isnan(figure.ratio.low);
    figure.apartA = runsApart(a, samplesA);
    figure.apartB = runsApart(b, samplesB);
    out.figures.push_back(figure);
    return true;
}

// What limits the figures of a program: steps left out, one run a side.
std::set<long> limitNotes(Program program, const std::vector<const ResultsRun*>& a,
                          const std::vector<const ResultsRun*>& b, ProgramComparison& out) {
    std::set<long> steps;
    if (program == Program::triangles) {
        std::set<long> partial;
        steps = commonSteps(a, b, partial);
        if (steps.empty())
            out.notes.push_back("no step was drawn in every run, so only the set-up time can be compared");
        else if (!partial.empty())
            out.notes.push_back(stepList(partial) + ", drawn in only some runs, are left out of every frame figure");
    }
    const char* names[] = {"A", "B"};
    const std::vector<const ResultsRun*>* sides[] = {&a, &b};
    for (int s = 0; s < 2; ++s)
        if (sides[s]->size() == 1)
            out.notes.push_back(std::string(names[s]) + " holds one run: on its side the intervals reflect only "
                                "frame-to-frame variation, not the usually larger variation between runs "
                                "(repeat runs for that)");
    return steps;
}

ProgramComparison compareProgram(Program program, const std::vector<const ResultsRun*>& a,
                                 const std::vector<const ResultsRun*>& b, const BootstrapOptions& options,
                                 const FigureProgress& progress) {
    ProgramComparison out;
    out.program = program;
    for (const ResultsRun* run : a) out.filesA.push_back(run->path);
    for (const ResultsRun* run : b) out.filesB.push_back(run->path);
    const std::set<long> steps = limitNotes(program, a, b, out);
    for (const FigureSpec& spec : comparedFigures(program, steps)) compareFigure(spec, a, b, steps, options, progress, out);
    for (const auto& [side, runs] : {std::pair{"A", &a}, std::pair{"B", &b}})
        for (const ResultsRun* run : *runs) {
            const std::vector<RunOutliers> outliers = runOutliers(*run);
            if (std::any_of(outliers.begin(), outliers.end(), [](const RunOutliers& o) { return o.slowFirst; }))
                out.slowFirst.push_back(SlowFirstFrame{side, run->path});
        }
    bool oneValueEach = false;
    for (const FigureComparison& f : out.figures) oneValueEach |= std::isnan(f.ratio.low) && std::isfinite(f.ratio.estimate);
    if (oneValueEach)
        out.notes.push_back("a figure with a single value on a side (such as the set-up time of one run) has no "
                            "interval, and so no verdict");
    return out;
}

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

ComparedSide sideOf(const std::vector<ReportedRun>& runs) {
    ComparedSide side;
    for (const ReportedRun& reported : runs) {
        side.runs.push_back(reported.run);
        // Shown as the reader shows the file's name: escaped.
        const std::string& shown = reported.run.path;
        side.skippedFrames = std::max(side.skippedFrames, reported.skippedFrames);
        if (!reported.context.present) {
            side.withoutContext.push_back(shown);
            continue;
        }
        if (reported.validation()) {
            side.validation.push_back(shown);
        } else {
            const json context = reported.context.context;
            side.conditions.push_back(conditionsOfContext(context));
        }
        for (const std::string& warning : reported.context.context.warnings)
            side.warnings.push_back(RunWarning{shown, displayText(warning)});
    }
    return side;
}

Comparison compareSides(const ComparedSide& a, const ComparedSide& b, const BootstrapOptions& options,
                        const FigureProgress& progress) {
    Comparison out;
    out.bootstrap = options;
    for (const ResultsRun& run : a.runs) out.filesA.push_back(run.path);
    for (const ResultsRun& run : b.runs) out.filesB.push_back(run.path);
    out.warningsA = a.warnings;
    out.warningsB = b.warnings;
    out.withoutContextA = a.withoutContext;
    out.withoutContextB = b.withoutContext;
    out.differences = conditionDifferences(a.conditions, b.conditions);
    out.skippedFrames = std::max(a.skippedFrames, b.skippedFrames);
    for (const auto& [name, side] : {std::pair{"A", &a}, std::pair{"B", &b}})
        for (const std::string& file : side->validation)
            out.notes.push_back(std::string(name) + ": " + file + ": " + validationNote);
    for (Program program : {Program::triangles, Program::cube, Program::streaming}) {
        const std::vector<const ResultsRun*> runsA = runsOf(a, program);
        const std::vector<const ResultsRun*> runsB = runsOf(b, program);
        if (runsA.empty() && runsB.empty()) continue;
        if (runsA.empty() || runsB.empty()) {
            out.notes.push_back(std::string(programName(program)) + ": " +
                                runCount(runsA.empty() ? runsB.size() : runsA.size()) + " in " +
                                (runsA.empty() ? "B" : "A") + " only, nothing to compare them with");
            continue;
        }
        out.programs.push_back(compareProgram(program, runsA, runsB, options, progress));
    }
    return out;
}

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
    const int first = std::max(0, skippedFrames) + 1;
    for (const SlowFirstFrame& slow : program.slowFirst)
        lines.push_back(slow.side + ": " + slow.file + ": frame " + std::to_string(first) +
                        " is much slower than the frames after it: set-up work spilling into it? --skip-frames " +
                        std::to_string(first) + " leaves it out");
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
