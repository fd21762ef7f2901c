#include "output/json_format.h"

#include <algorithm>

#include "common/display_text.h"
#include "common/number_text.h"
#include "model/figures.h"
#include "output/alert_format.h"
#include "output/comparison_words.h"
#include "output/interval_format.h"
#include "output/outlier_text.h"
#include "output/run_figures.h"

using nlohmann::json;

namespace {

json statisticsJson(const Statistics& stats) {
    json out = {{"count", stats.count}};
    for (int s = 0; s < statisticCount; ++s) out[statisticNames[s]] = numberJson(statisticValue(stats, s));
    return out;
}

json summaryJson(const ResultsRun& run) {
    if (!run.summary.present) return nullptr;
    json summary = {{"totalSeconds", numberJson(run.summary.totalSeconds)},
                    {"averageAnglesPerSecond", numberJson(run.summary.averageAnglesPerSecond)}};
    if (hasField(run.program->results.summary, LineField::averageVertices))
        summary["averageVerticesPerSecond"] = numberJson(run.summary.averageVerticesPerSecond);
    return summary;
}

json kernelsJson(const ResultsRun& run) {
    json kernels = json::object();
    for (size_t k = 0; k < run.kernels.size(); ++k) {
        json blocks = json::array();
        for (const KernelBlock& b : run.kernels[k])
            blocks.push_back({{"line", b.firstLine},
                              {"window", b.window},
                              {"seconds", numberJson(b.seconds)},
                              {"millionsPerSecond", numberJson(b.millionsPerSecond)}});
        kernels[run.program->results.kernels[k].name] = blocks;
    }
    return kernels;
}

// Each frame's values under the keys of the figures they are samples of.
json framesJson(const ResultsRun& run, int skipped) {
    json frames = json::array();
    for (size_t i = 0; i < run.frames.size(); ++i) {
        const Frame& f = run.frames[i];
        json row = {{"frame", i + 1 + size_t(std::max(0, skipped))},
                    {"line", f.firstLine},
                    {"window", f.window},
                    {"frameSeconds", numberJson(f.seconds)},
                    {"framesPerSecond", numberJson(f.anglesPerSecond)},
                    {frameRateFigure(run.program)->key, numberJson(f.rate)}};
        if (run.program->hasSteps()) {
            row["step"] = f.step;
            row[run.program->steps.countName] = numberJson(f.triangles);
        }
        frames.push_back(row);
    }
    return frames;
}

// [{"line", "message"}]: a file's problems, each at its line (0: the file as a whole).
json problemsJson(const std::vector<Problem>& problems) {
    json out = json::array();
    for (const Problem& p : problems) out.push_back({{"line", p.line}, {"message", p.message}});
    return out;
}

json tailsJson(const ResultsRun& run) {
    json out = json::object();
    for (const RunTail& t : runTails(run)) {
        json entry = {{"label", t.spec->label}, {"definition", t.spec->definition}, {"value", numberJson(t.value.value)}};
        if (!t.value.absent.empty()) entry["absent"] = t.value.absent;
        out[t.spec->key] = entry;
    }
    return out;
}

json timingJson(const TimedFrames& timing) {
    json frames = json::array();
    for (const FrameTimes& f : timing.frames) {
        json row = {{"presentSeconds", numberJson(f.presentSeconds)},
                    {"cpuSeconds", numberJson(f.cpuSeconds)},
                    {"gpuSeconds", numberJson(f.gpuSeconds)}};
        if (!f.gpuMissing.empty()) row["gpuMissing"] = f.gpuMissing;
        frames.push_back(row);
    }
    return {{"file", timing.file},
            {"gpu", {{"available", timing.gpuAvailable}, {"note", timing.gpuNote}}},
            {"unmatchedFrames", timing.unmatched},
            {"problems", problemsJson(timing.problems)},
            {"frames", frames}};
}

json machineJson(const ResultsRun& run) {
    const SamplesSummary& m = *run.machine;
    json sensors = json::array();
    for (const SensorSummary& s : m.sensors)
        sensors.push_back({{"key", s.key}, {"unit", s.unit}, {"count", s.count}, {"missing", s.missing},
                           {"min", numberJson(s.min)}, {"median", numberJson(s.median)}, {"max", numberJson(s.max)}});
    json energy = json::array();
    for (const EnergyMeter& e : m.energy) {
        json entry = {{"key", e.key}, {"fromCounter", e.fromCounter}, {"joules", numberJson(e.joules)},
                      {"seconds", numberJson(e.seconds)}, {"partial", e.partial}};
        const std::optional<FrameEnergy> f = frameEnergy(e, frameCount(run));
        entry["joulesPerFrame"] = f ? numberJson(f->joulesPerFrame) : json(nullptr);
        entry["framesPerJoule"] = f ? numberJson(f->framesPerJoule) : json(nullptr);
        energy.push_back(entry);
    }
    return {{"seconds", numberJson(m.seconds)}, {"samples", m.samples}, {"sensors", sensors}, {"energy", energy}};
}

json figuresJson(const ResultsRun& run) {
    json statistics = json::object();
    std::vector<Figure> figures = runFigures(run);
    for (Figure& f : stepFigures(run)) figures.push_back(std::move(f));
    for (const Figure& f : figures) {
        json entry = statisticsJson(f.stats);
        entry["label"] = f.label;
        statistics[f.key] = entry;
    }
    return statistics;
}

// [{"figure", "count", "frames", "lines", "slowFirstFrame"}], figures with nothing to show left out.
json outliersJson(const std::vector<RunOutliers>& outliers) {
    json out = json::array();
    for (const RunOutliers& figure : outliers) {
        if (figure.frames.count == 0 && !figure.slowFirst) continue;
        out.push_back({{"figure", figure.label},
                       {"count", figure.frames.count},
                       {"frames", figure.frames.frames},
                       {"lines", figure.frames.lines},
                       {"slowFirstFrame", figure.slowFirst}});
    }
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

json figureComparisonJson(const FigureComparison& f) {
    json figure = {{"program", programName(f.program)},
                   {"figure", f.figure},
                   {"label", f.label},
                   {"direction", directionName(f.direction)},
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
    figure.update(intervalJson(f.ratio));
    if (f.step > 0) figure["step"] = f.step;
    return figure;
}

json findingJson(const Finding& f) {
    const Series& s = *f.series;
    const StoredRun& first = *s.runs[f.point.index];
    json changed = json::object();
    for (const auto& [key, values] : f.changed)
        changed[displayText(key)] = {displayText(values.first), displayText(values.second)};
    json out = {{"machine", displayText(s.machine)},
                {"program", s.program},
                {"figure", s.figure},
                {"position", f.point.index + 1},
                {"firstRunAfter",
                 {{"id", first.id}, {"started", displayText(first.started)}, {"file", displayText(first.sourceFile)}}},
                {"medianBefore", numberJson(f.point.medianBefore)},
                {"medianAfter", numberJson(f.point.medianAfter)},
                {"pValue", numberJson(f.point.pValue)},
                {"verdict", verdictName(f.point.verdict)},
                {"changed", changed},
                {"bisect", displayText(bisectSuggestion(s, f.changed))}};
    out.update(intervalJson(f.point.ratio));
    return out;
}

}  // namespace

json runJson(const ReportedRun& reported) {
    const ResultsRun& run = reported.run;
    json out;
    out["file"] = run.path;
    out["program"] = run.recognised ? json(programName(run.program)) : json(nullptr);
    out["frames"] = frameCount(run);
    out["skippedFrames"] = reported.skippedFrames;
    out["complete"] = run.problems.empty();
    out["setupSeconds"] = run.hasSetup ? numberJson(run.setupSeconds) : json(nullptr);
    out["summary"] = summaryJson(run);
    if (reported.validation()) {
        out["validation"] = true;
        out["statistics"] = json::object();
    } else {
        out["statistics"] = figuresJson(run);
        out["tails"] = tailsJson(run);
        out["outliers"] = outliersJson(shownOutliers(run, reported.skippedFrames));
    }
    if (run.recognised && run.program->results.byKernel())
        out["kernels"] = kernelsJson(run);
    else
        out["perFrame"] = framesJson(run, reported.skippedFrames);
    if (run.timing.present) out["timing"] = timingJson(run.timing);
    if (run.machine) out["machine"] = machineJson(run);
    out["problems"] = problemsJson(run.problems);
    return out;
}

std::string jsonReport(const std::vector<ReportedRun>& runs) {
    json out = json::array();
    for (const ReportedRun& run : runs) out.push_back(runJson(run));
    return out.dump(2) + "\n";
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
        for (const FigureComparison& f : program.figures) figures.push_back(figureComparisonJson(f));
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

json findingsJson(const std::vector<Finding>& findings) {
    json out = json::array();
    for (const Finding& f : findings) out.push_back(findingJson(f));
    return out;
}

std::string jsonFindings(const std::vector<Finding>& findings, size_t) {
    return findingsJson(findings).dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string jsonRunList(const std::vector<StoredRun>& runs) {
    json out = json::array();
    for (const StoredRun& r : runs)
        out.push_back({{"id", r.id},
                       {"machine", displayText(r.machine)},
                       {"program", r.program},
                       {"started", displayText(r.started)},
                       {"frames", r.frames},
                       {"file", displayText(r.sourceFile)},
                       {"sha256", r.sha256},
                       {"excluded", r.excluded},
                       {"reason", r.excluded ? json(displayText(r.excludeReason)) : json()}});
    return out.dump(2) + "\n";
}

json alertsJson(const std::vector<Alert>& alerts, const std::vector<long long>& groups) {
    json out = json::array();
    for (size_t i = 0; i < alerts.size(); ++i) {
        const Alert& a = alerts[i];
        json figures = json::array();
        for (const AlertFigure& f : a.figures) {
            json figure = {{"figure", f.key}, {"verdict", f.verdict}, {"before", numberJson(f.levelBefore)},
                           {"after", numberJson(f.levelAfter)}};
            figure.update(intervalJson(f.ratio));
            figures.push_back(figure);
        }
        out.push_back({{"id", a.id}, {"kind", a.kind}, {"state", alertStateName(a.state)},
                       {"machine", displayText(a.machine)}, {"program", a.program}, {"figures", figures},
                       {"firstRunAfter", a.firstRunAfter ? json{{"id", a.firstRunAfter},
                                                                {"started", displayText(a.firstRunAfterStarted)}}
                                                         : json()},
                       {"explanation", displayText(a.explanation)}, {"note", displayText(a.note)},
                       {"by", displayText(a.by)}, {"raised", alertTime(a.raisedAt)}, {"changed", alertTime(a.changedAt)},
                       {"sent", a.sentAt > 0}, {"recoveredBy", a.recoveredBy ? json(a.recoveredBy) : json()},
                       {"group", groups.at(i)}});
    }
    return out;
}

std::string jsonAlerts(const std::vector<Alert>& alerts, const std::vector<long long>& groups) {
    return alertsJson(alerts, groups).dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}
