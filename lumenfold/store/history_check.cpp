#include "store/history_check.h"

#include "analysis/machine_state.h"
#include "model/machine_samples.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

#include "model/context_file.h"
#include "model/figures.h"

namespace {

// What a change point explains itself by: the conditions every comparison
// of contexts names, and the run's warnings; nothing without a readable context.
std::map<std::string, std::string> explainingFacts(const std::optional<std::string>& text) {
    std::map<std::string, std::string> facts;
    if (!text) return facts;
    const ContextRead read = parseContext(*text, "");
    if (!read.present) return facts;
    for (const ContextFact& fact : conditionFacts(read.context)) facts[fact.key] = fact.value.value_or("(none)");
    // Contexts written before the driver's revision had a field of its own still name it in the GL version.
    const std::optional<std::string> driver =
        read.context.driverRevision ? read.context.driverRevision : driverRevisionOf(read.context.gl.version);
    if (driver) facts["driverRevision"] = *driver;
    std::string warnings;
    for (const std::string& w : read.context.warnings) warnings += (warnings.empty() ? "" : "; ") + w;
    facts["warnings"] = warnings.empty() ? "(none)" : warnings;
    return facts;
}

}  // namespace

std::vector<FigureSamples> figureSamplesOfRun(const ResultsRun& run) {
    std::vector<FigureSamples> out;
    if (!run.recognised) return out;
    auto add = [&](const FigureSpec& spec) {
        std::vector<double> samples = figureSamples(run, spec);
        if (!samples.empty()) out.push_back({spec.key, spec.label, spec.direction, std::move(samples)});
    };
    for (const FigureSpec& spec : programFigures(run.program)) {
        if (!spec.perStep) {
            add(spec);
            continue;
        }
        for (long step : stepsDrawn(run))
            if (step > 0) add(figureAtStep(spec, step));
    }
    return out;
}

ContextChanges contextChanges(const std::optional<std::string>& before, const std::optional<std::string>& after) {
    const auto a = explainingFacts(before), b = explainingFacts(after);
    ContextChanges changed;
    if (a.empty() != b.empty() || (a.empty() && (before.has_value() != after.has_value()))) {
        changed["context"] = {before ? "(recorded)" : "(no context)", after ? "(recorded)" : "(no context)"};
        return changed;
    }
    std::set<std::string> keys;
    for (const auto& [k, v] : a) keys.insert(k);
    for (const auto& [k, v] : b) keys.insert(k);
    for (const std::string& key : keys) {
        const std::string x = a.count(key) ? a.at(key) : "(none)";
        const std::string y = b.count(key) ? b.at(key) : "(none)";
        if (x != y) changed[key] = {x, y};
    }
    return changed;
}

std::vector<Series> buildSeries(const std::vector<StoredRun>& runs, const std::vector<ResultsRun>& data,
                                const std::string& figure) {
    std::vector<Series> out;
    std::map<std::tuple<std::string, std::string, std::string>, size_t> index;
    for (size_t i = 0; i < runs.size() && i < data.size(); ++i) {
        if (runs[i].excluded || !data[i].recognised) continue;
        for (FigureSamples& f : figureSamplesOfRun(data[i])) {
            if (!figure.empty() && f.key != figure) continue;
            // Sorted once here (without the not-a-numbers every statistic
            // leaves out), every statistic of the check finds it so.
            std::erase_if(f.samples, [](double v) { return std::isnan(v); });
            std::sort(f.samples.begin(), f.samples.end());
            // A run whose figure has no finite median says nothing about a level.
            if (!std::isfinite(quantile(f.samples, 0.5))) continue;
            const auto key = std::make_tuple(runs[i].machine, runs[i].program, f.key);
            auto [at, fresh] = index.emplace(key, out.size());
            if (fresh) out.push_back(Series{runs[i].machine, runs[i].program, f.key, f.label, f.direction, {}, {}});
            out[at->second].runs.push_back(&runs[i]);
            out[at->second].samples.push_back(std::move(f.samples));
        }
    }
    return out;
}

namespace {

// What the machine's sensors said in the runs on either side of a change
// (up to five each), and runs after it that throttled when none before did.
void addStateChanges(const Series& s, size_t index, ContextChanges& changed) {
    constexpr size_t around = 5;
    std::vector<SamplesSummary> before, after;
    std::vector<std::string> throttledBefore, throttledAfter;
    for (size_t i = index > around ? index - around : 0; i < std::min(s.runs.size(), index + around); ++i) {
        if (!s.runs[i]->machineSamples) continue;
        const SamplesSummary summary = summariseSamples(parseMachineSamples(*s.runs[i]->machineSamples, ""));
        (i < index ? before : after).push_back(summary);
        std::string throttled;
        for (const std::string& sensor : throttledSensors(summary)) throttled += (throttled.empty() ? "" : ", ") + sensor;
        if (!throttled.empty())
            (i < index ? throttledBefore : throttledAfter).push_back("run " + std::to_string(s.runs[i]->id) + ": " + throttled);
    }
    if (before.empty() || after.empty()) return;
    for (const SensorDifference& d : sensorDifferences(before, after))
        changed["sensor " + d.key] = {sensorValueText(d.before, d.unit), sensorValueText(d.after, d.unit)};
    auto joined = [](const std::vector<std::string>& runs) {
        std::string text;
        for (const std::string& run : runs) text += (text.empty() ? "" : "; ") + run;
        return text.empty() ? std::string("none") : text;
    };
    if (throttledBefore.size() != throttledAfter.size() || !throttledAfter.empty())
        changed["throttled runs"] = {joined(throttledBefore), joined(throttledAfter)};
}

}  // namespace

namespace {

bool gitHash(const std::string& text) {
    return text.size() >= 7 && text.size() <= 64 &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

}  // namespace

std::string bisectSuggestion(const Series& series, const ContextChanges& changed) {
    // The revision lumenfold built (bisect) names the tree best; a Mesa built
    // from git names the driver the runs used.
    for (const char* fact : {"revision", "driverRevision"}) {
        const auto found = changed.find(fact);
        if (found == changed.end() || !gitHash(found->second.first) || !gitHash(found->second.second)) continue;
        std::string command = "lumenfold bisect " + series.program + " --figure " + series.figure + " --repo ";
        command += std::string(fact) == "revision" ? "REPOSITORY" : "MESA_REPOSITORY";
        return command + " --good " + found->second.first + " --bad " + found->second.second + " --build 'BUILD'";
    }
    return "";
}

std::vector<Finding> checkSeries(const std::vector<Series>& series, const ChangePointOptions& options) {
    std::vector<Finding> out;
    for (const Series& s : series)
        for (const ChangePoint& p : findChangePoints(s.samples, s.direction, options)) {
            Finding finding{&s, p, contextChanges(s.runs[p.index - 1]->context, s.runs[p.index]->context)};
            addStateChanges(s, p.index, finding.changed);
            out.push_back(std::move(finding));
        }
    return out;
}
