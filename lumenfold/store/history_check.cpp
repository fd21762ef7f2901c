#include "store/history_check.h"

#include "analysis/machine_state.h"
#include "model/machine_samples.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

#include <nlohmann/json.hpp>

#include "model/context_file.h"
#include "model/figures.h"

using nlohmann::json;

namespace {

std::string factText(const json& context, std::initializer_list<const char*> path) {
    const json* at = &context;
    for (const char* key : path) {
        if (!at->is_object() || !at->contains(key)) return "(none)";
        at = &(*at)[key];
    }
    if (at->is_string()) return at->get<std::string>();
    if (at->is_null()) return "(none)";
    return at->dump();
}

std::map<std::string, std::string> contextFacts(const std::optional<std::string>& text) {
    std::map<std::string, std::string> facts;
    const json context = text ? json::parse(*text, nullptr, false) : json();
    if (!context.is_object()) return facts;
    facts["renderer"] = factText(context, {"gl", "renderer"});
    facts["glVersion"] = factText(context, {"gl", "version"});
    facts["kernel"] = factText(context, {"kernel", "release"});
    facts["lumenfoldVersion"] = factText(context, {"version"});
    facts["cpuModel"] = factText(context, {"cpu", "model"});
    if (context.contains("environment") && context["environment"].is_object())
        for (const auto& [name, value] : context["environment"].items())
            facts["environment." + name] = value.is_string() ? value.get<std::string>() : value.dump();
    if (context.contains("labels") && context["labels"].is_object())
        for (const auto& [name, value] : context["labels"].items())
            facts["label." + name] = value.is_string() ? value.get<std::string>() : value.dump();
    if (context.contains("revision")) facts["revision"] = factText(context, {"revision"});
    // Contexts written before the driver's revision had a field of its own still name it in the GL version.
    const std::optional<std::string> driver =
        context.contains("driverRevision") ? std::optional<std::string>(factText(context, {"driverRevision"}))
                                           : driverRevisionOf(facts["glVersion"]);
    if (driver) facts["driverRevision"] = *driver;
    std::string warnings;
    if (context.contains("warnings") && context["warnings"].is_array())
        for (const json& w : context["warnings"]) warnings += (warnings.empty() ? "" : "; ") + factText(w, {});
    facts["warnings"] = warnings.empty() ? "(none)" : warnings;
    return facts;
}

}  // namespace

std::vector<HistoryFigure> historyFigures(const ResultsRun& run) {
    std::vector<HistoryFigure> out;
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
    const auto a = contextFacts(before), b = contextFacts(after);
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
        for (HistoryFigure& f : historyFigures(data[i])) {
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
