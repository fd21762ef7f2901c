#include "analysis/compare.h"
#include "analysis/frame_tails.h"
#include "analysis/machine_state.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <set>

#include "common/display_text.h"
#include "common/number_text.h"
#include "analysis/outliers.h"
#include "model/figures.h"

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

// Where frames have steps, a frame's work grows with its step, so frames
// are compared only at steps every run on both sides drew; anything else
// would compare depth of run rather than speed.
std::set<long> commonSteps(const std::vector<const ResultsRun*>& a, const std::vector<const ResultsRun*>& b,
                           std::set<long>& partial) {
    std::set<long> common;
    bool first = true;
    for (const auto* side : {&a, &b}) {
        for (const ResultsRun* run : *side) {
            const std::set<long> steps = stepsDrawn(*run);
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

// The figures compared: every figure of the program; where frames have
// steps, frame figures only at the steps every run drew, and the per-step
// family's member at each of those steps.
std::vector<FigureSpec> comparedFigures(Program program, const std::set<long>& steps) {
    std::vector<FigureSpec> figures;
    for (const FigureSpec& figure : programFigures(program)) {
        if (program->hasSteps() && !figure.perRun() && steps.empty()) continue;
        if (!figure.perStep) {
            figures.push_back(figure);
            continue;
        }
        for (long step : steps) figures.push_back(figureAtStep(figure, step));
    }
    return figures;
}


// "steps 1, 4, 5", or "12 steps between 41 and 60" when there are many.
std::string stepsInWords(const std::set<long>& steps) {
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
    if (program->hasSteps()) {
        std::set<long> partial;
        steps = commonSteps(a, b, partial);
        if (steps.empty())
            out.notes.push_back("no step was drawn in every run, so only the set-up time can be compared");
        else if (!partial.empty())
            out.notes.push_back(stepsInWords(partial) + ", drawn in only some runs, are left out of every frame figure");
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

// The frame-time tails of a program whose runs all hold enough frames for
// the tail: B/A with an interval where the bootstrap of the tail is sound,
// else a note that says why there is none.
void compareTails(const std::vector<const ResultsRun*>& a, const std::vector<const ResultsRun*>& b,
                  const std::set<long>& steps, const BootstrapOptions& options, ProgramComparison& out) {
    const std::optional<FigureSpec> frameTime = findFigure(out.program, "frameSeconds");
    if (!frameTime) return;
    FigureComparison figure;
    const RunSamples samplesA = samplesOf(a, *frameTime, steps, figure.runsA, figure.samplesA);
    const RunSamples samplesB = samplesOf(b, *frameTime, steps, figure.runsB, figure.samplesB);
    size_t fewest = std::numeric_limits<size_t>::max();
    for (const RunSamples* side : {&samplesA, &samplesB})
        for (const std::vector<double>& run : *side) fewest = std::min(fewest, run.size());
    for (const TailFigureSpec& spec : tailFigures) {
        if (figure.runsA == 0 || figure.runsB == 0 || long(fewest) < framesForTail(spec)) continue;
        std::string why;
        const Interval ratio = tailRatioInterval(spec, samplesA, samplesB, options, why);
        if (!why.empty()) {
            out.notes.push_back(std::string(spec.label) + ": no interval: " + why);
            continue;
        }
        FigureComparison tail = figure;
        tail.program = out.program;
        tail.figure = spec.key;
        tail.label = spec.label;
        tail.direction = spec.rate ? Direction::higherIsBetter : Direction::lowerIsBetter;
        std::vector<double> valuesA, valuesB;
        for (const std::vector<double>& run : samplesA) valuesA.push_back(tailValue(spec, run).value);
        for (const std::vector<double>& run : samplesB) valuesB.push_back(tailValue(spec, run).value);
        tail.medianA = medianOf(valuesA);
        tail.medianB = medianOf(valuesB);
        tail.ratio = ratio;
        tail.verdict = verdictFor(ratio, tail.direction);
        out.figures.push_back(tail);
    }
}

// Whether every run of both sides was timed. Mixed sides would compare
// the timed runs of one with those of the other under the other runs' names,
// so the times are then left out, with a note.
bool timedOnBothSides(const std::vector<const ResultsRun*>& a, const std::vector<const ResultsRun*>& b,
                      ProgramComparison& out) {
    size_t timed = 0;
    for (const auto* side : {&a, &b})
        for (const ResultsRun* run : *side) timed += run->timing.present ? 1 : 0;
    const size_t all = a.size() + b.size();
    if (timed > 0 && timed < all)
        out.notes.push_back("the swap-to-swap, CPU and GPU times are compared only when every run was timed "
                            "(--timing): " + std::to_string(timed) + " of " + std::to_string(all) + " runs were");
    return timed == all;
}

ProgramComparison compareProgram(Program program, const std::vector<const ResultsRun*>& a,
                                 const std::vector<const ResultsRun*>& b, const BootstrapOptions& options,
                                 const FigureProgress& progress) {
    ProgramComparison out;
    out.program = program;
    for (const ResultsRun* run : a) out.filesA.push_back(run->path);
    for (const ResultsRun* run : b) out.filesB.push_back(run->path);
    const std::set<long> steps = limitNotes(program, a, b, out);
    const bool timed = timedOnBothSides(a, b, out);
    for (const FigureSpec& spec : comparedFigures(program, steps))
        if (timed || !spec.timed()) compareFigure(spec, a, b, steps, options, progress, out);
    compareTails(a, b, steps, options, out);
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

}  // namespace

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
        if (reported.validation())
            side.validation.push_back(shown);
        else
            side.conditions.push_back(conditionFacts(reported.context.context));
        for (const std::string& warning : reported.context.context.warnings)
            side.warnings.push_back(RunWarning{shown, displayText(warning)});
    }
    return side;
}

// Sensors whose readings differ between the sides beyond their spread,
// from the runs sampled on both.
std::vector<ConditionDifference> machineDifferences(const ComparedSide& a, const ComparedSide& b) {
    std::vector<SamplesSummary> before, after;
    for (const ResultsRun& run : a.runs)
        if (run.machine) before.push_back(*run.machine);
    for (const ResultsRun& run : b.runs)
        if (run.machine) after.push_back(*run.machine);
    std::vector<ConditionDifference> out;
    if (before.empty() || after.empty()) return out;
    for (const SensorDifference& d : sensorDifferences(before, after)) {
        ConditionDifference difference;
        difference.label = "sensor " + d.key;
        difference.line = "the machine's state differs: " + d.text + " (median of the runs' medians)";
        out.push_back(std::move(difference));
    }
    return out;
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
    for (ConditionDifference& d : machineDifferences(a, b)) out.differences.push_back(std::move(d));
    out.skippedFrames = std::max(a.skippedFrames, b.skippedFrames);
    for (const auto& [name, side] : {std::pair{"A", &a}, std::pair{"B", &b}})
        for (const std::string& file : side->validation)
            out.notes.push_back(std::string(name) + ": " + file + ": " + validationNote);
    for (Program program : programs()) {
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
