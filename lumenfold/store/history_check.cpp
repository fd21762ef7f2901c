#include "store/history_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "common/display_text.h"
#include "model/context_file.h"
#include "model/figures.h"

using nlohmann::json;

namespace {

// What a change point explains itself by: the conditions every comparison
// of contexts names, and the run's warnings; nothing without a readable context.
std::map<std::string, std::string> explainingFacts(const std::optional<std::string>& text) {
    std::map<std::string, std::string> facts;
    if (!text) return facts;
    const ContextRead read = parseContext(*text, "");
    if (!read.present) return facts;
    for (const ContextFact& fact : conditionFacts(read.context)) facts[fact.key] = fact.value.value_or("(none)");
    std::string warnings;
    for (const std::string& w : read.context.warnings) warnings += (warnings.empty() ? "" : "; ") + w;
    facts["warnings"] = warnings.empty() ? "(none)" : warnings;
    return facts;
}

std::string number(double value) {
    char text[32];
    snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string ratioText(const ChangePoint& p) {
    char text[96];
    snprintf(text, sizeof text, "%.4f [%.4f, %.4f]", p.ratio.estimate, p.ratio.low, p.ratio.high);
    return text;
}

std::string seriesCount(size_t n) { return std::to_string(n) + (n == 1 ? " series" : " series"); }

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
        std::set<long> steps;
        for (const Frame& f : run.frames) steps.insert(trianglesStep(f.triangles));
        for (long step : steps)
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

std::vector<FigureSeries> buildSeries(const std::vector<StoredRun>& runs, const std::vector<ResultsRun>& data,
                                const std::string& figure) {
    std::vector<FigureSeries> out;
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
            if (fresh) out.push_back(FigureSeries{runs[i].machine, runs[i].program, f.key, f.label, f.direction, {}, {}});
            out[at->second].runs.push_back(&runs[i]);
            out[at->second].samples.push_back(std::move(f.samples));
        }
    }
    return out;
}

std::vector<Finding> checkSeries(const std::vector<FigureSeries>& series, const ChangePointOptions& options) {
    std::vector<Finding> out;
    for (const FigureSeries& s : series)
        for (const ChangePoint& p : findChangePoints(s.samples, s.direction, options))
            out.push_back(Finding{&s, p, contextChanges(s.runs[p.index - 1]->context, s.runs[p.index]->context)});
    return out;
}

std::string findingsText(const std::vector<Finding>& findings, size_t seriesChecked) {
    std::string out;
    for (const Finding& f : findings) {
        const FigureSeries& s = *f.series;
        const StoredRun& first = *s.runs[f.point.index];
        out += displayText(s.machine) + "  " + s.program + "  " + s.figure + ": change before run " +
               std::to_string(f.point.index + 1) + " of " + std::to_string(s.runs.size()) + " (id " +
               std::to_string(first.id) + ", " + displayText(first.started) + ", " + displayText(first.sourceFile) +
               ")\n  median " + number(f.point.medianBefore) + " -> " + number(f.point.medianAfter) + ", after/before " +
               ratioText(f.point) + ", " + verdictName(f.point.verdict) + "\n";
        for (const auto& [key, values] : f.changed)
            out += "  changed " + key + ": " + displayText(values.first) + " -> " + displayText(values.second) + "\n";
        if (f.changed.empty()) out += "  nothing recorded in the context changed\n";
    }
    out += std::to_string(findings.size()) + " change point" + (findings.size() == 1 ? "" : "s") + " in " +
           seriesCount(seriesChecked) + "\n";
    return out;
}

// A table cell: displayable, with the characters that would break a row escaped.
static std::string cell(const std::string& text) {
    std::string out;
    for (char c : displayText(text)) {
        if (c == '|' || c == '\\' || c == '*' || c == '_' || c == '`' || c == '<' || c == '[') out += '\\';
        out += c;
    }
    return out;
}

std::string findingsMarkdown(const std::vector<Finding>& findings, size_t seriesChecked) {
    std::string out = "## Change points\n\n" + std::to_string(findings.size()) + " in " + seriesCount(seriesChecked) +
                      ".\n";
    if (findings.empty()) return out;
    out += "\n| machine | program | figure | run | date | median before | median after | after/before [95%] | "
           "verdict | changed |\n|---|---|---|---|---|---|---|---|---|---|\n";
    for (const Finding& f : findings) {
        const FigureSeries& s = *f.series;
        std::string changed;
        for (const auto& [key, values] : f.changed)
            changed += (changed.empty() ? "" : "; ") + cell(key) + ": " + cell(values.first) + " → " + cell(values.second);
        out += "| " + cell(s.machine) + " | " + s.program + " | " + cell(s.figure) + " | " +
               std::to_string(f.point.index + 1) + " | " + cell(s.runs[f.point.index]->started) + " | " +
               number(f.point.medianBefore) + " | " + number(f.point.medianAfter) + " | " + ratioText(f.point) +
               " | " + verdictName(f.point.verdict) + " | " + (changed.empty() ? "nothing recorded" : changed) + " |\n";
    }
    return out;
}

json findingsJson(const std::vector<Finding>& findings) {
    json out = json::array();
    for (const Finding& f : findings) {
        const FigureSeries& s = *f.series;
        const StoredRun& first = *s.runs[f.point.index];
        json changed = json::object();
        for (const auto& [key, values] : f.changed) changed[displayText(key)] = {displayText(values.first), displayText(values.second)};
        out.push_back({{"machine", displayText(s.machine)},
                       {"program", s.program},
                       {"figure", s.figure},
                       {"position", f.point.index + 1},
                       {"firstRunAfter", {{"id", first.id}, {"started", displayText(first.started)}, {"file", displayText(first.sourceFile)}}},
                       {"medianBefore", f.point.medianBefore},
                       {"medianAfter", f.point.medianAfter},
                       {"ratio", f.point.ratio.estimate},
                       {"ciLow", f.point.ratio.low},
                       {"ciHigh", f.point.ratio.high},
                       {"pValue", f.point.pValue},
                       {"verdict", verdictName(f.point.verdict)},
                       {"changed", changed}});
    }
    return out;
}
