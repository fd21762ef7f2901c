#include "store/history_check.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <set>

#include "common/display_text.h"
#include "common/parallel.h"
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
    std::string warnings;
    if (context.contains("warnings") && context["warnings"].is_array())
        for (const json& w : context["warnings"]) warnings += (warnings.empty() ? "" : "; ") + factText(w, {});
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

namespace {

// Each figure the run gives, by its place among the program's figures and,
// for a member of a per-step family, its step (-1 for the rest): what a
// fleet's check goes through millions of times, without making a name.
using FigureTaker = std::function<void(size_t spec, long step, std::vector<double>& samples)>;

void eachFigure(const ResultsRun& run, const FigureTaker& take) {
    if (!run.recognised) return;
    const std::vector<FigureSpec>& specs = programFigures(run.program);
    for (size_t i = 0; i < specs.size(); ++i) {
        if (!specs[i].perStep) {
            std::vector<double> samples = figureSamples(run, specs[i]);
            if (!samples.empty()) take(i, -1, samples);
            continue;
        }
        for (auto& [step, samples] : samplesByStep(run, specs[i]))
            if (step > 0) take(i, step, samples);
    }
}

FigureSpec memberOf(const FigureSpec& spec, long step) { return step < 0 ? spec : figureAtStep(spec, step); }

}  // namespace

std::vector<HistoryFigure> historyFigures(const ResultsRun& run) {
    std::vector<HistoryFigure> out;
    eachFigure(run, [&](size_t spec, long step, std::vector<double>& samples) {
        const FigureSpec figure = memberOf(programFigures(run.program)[spec], step);
        out.push_back({figure.key, figure.label, figure.direction, std::move(samples)});
    });
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

std::vector<Series> buildSeries(std::span<const StoredRun> runs, std::span<const ResultsRun> data,
                                const std::string& figure) {
    std::vector<Series> out;
    // Per machine and program, per figure (its place and step): whether the
    // figure asked for is it, and its series once it has one. Runs come
    // grouped so, and the group at hand is looked up once per run of it.
    struct Slot {
        bool wanted = false;
        size_t series = SIZE_MAX;
    };
    using Slots = std::map<std::pair<size_t, long>, Slot>;
    std::map<std::pair<std::string, std::string>, Slots> index;
    Slots* group = nullptr;
    const StoredRun* groupRun = nullptr;
    for (size_t i = 0; i < runs.size() && i < data.size(); ++i) {
        if (runs[i].excluded || !data[i].recognised) continue;
        if (groupRun == nullptr || runs[i].machine != groupRun->machine || runs[i].program != groupRun->program) {
            group = &index[{runs[i].machine, runs[i].program}];
            groupRun = &runs[i];
        }
        const std::vector<FigureSpec>& specs = programFigures(data[i].program);
        eachFigure(data[i], [&](size_t spec, long step, std::vector<double>& samples) {
            auto [at, fresh] = group->try_emplace({spec, step});
            Slot& slot = at->second;
            if (fresh) slot.wanted = figure.empty() || memberOf(specs[spec], step).key == figure;
            if (!slot.wanted) return;
            // Sorted once here (without the not-a-numbers every statistic
            // leaves out), every statistic of the check finds it so.
            std::erase_if(samples, [](double v) { return std::isnan(v); });
            std::sort(samples.begin(), samples.end());
            // A run whose figure has no finite median says nothing about a level.
            if (!std::isfinite(quantile(samples, 0.5))) return;
            if (slot.series == SIZE_MAX) {
                const FigureSpec member = memberOf(specs[spec], step);
                slot.series = out.size();
                out.push_back(Series{runs[i].machine, runs[i].program, member.key, member.label, member.direction, {}, {}});
            }
            out[slot.series].runs.push_back(&runs[i]);
            out[slot.series].samples.push_back(std::move(samples));
        });
    }
    return out;
}

std::vector<Finding> checkSeries(const std::vector<Series>& series, const ChangePointOptions& options,
                                 unsigned threads, const std::function<void(size_t checked)>& progress) {
    // Each series is checked on its own, its reorderings and resamples
    // seeded afresh, so its findings are the same on any thread; they are
    // put together in the series' order.
    std::vector<std::vector<Finding>> found(series.size());
    forEachIndex(
        series.size(), threads == 0 ? usableCores() : threads,
        [&](size_t i) {
            const Series& s = series[i];
            for (const ChangePoint& p : findChangePoints(s.samples, s.direction, options))
                found[i].push_back(
                    Finding{&s, p, contextChanges(s.runs[p.index - 1]->context, s.runs[p.index]->context)});
        },
        progress);
    std::vector<Finding> out;
    for (std::vector<Finding>& some : found)
        for (Finding& f : some) out.push_back(std::move(f));
    return out;
}

std::string findingsText(const std::vector<Finding>& findings, size_t seriesChecked) {
    std::string out;
    for (const Finding& f : findings) {
        const Series& s = *f.series;
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
        const Series& s = *f.series;
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
        const Series& s = *f.series;
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
