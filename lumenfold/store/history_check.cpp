#include "store/history_check.h"

#include "analysis/machine_state.h"
#include "model/machine_samples.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <set>

#include "common/parallel.h"
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

std::vector<FigureSamples> figureSamplesOfRun(const ResultsRun& run) {
    std::vector<FigureSamples> out;
    eachFigure(run, [&](size_t spec, long step, std::vector<double>& samples) {
        const FigureSpec figure = memberOf(programFigures(run.program)[spec], step);
        out.push_back({figure.key, figure.label, figure.direction, std::move(samples)});
    });
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

Finding findingOf(const Series& s, const ChangePoint& p) {
    Finding finding{&s, p, contextChanges(s.runs[p.index - 1]->context, s.runs[p.index]->context)};
    addStateChanges(s, p.index, finding.changed);
    return finding;
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
            for (const ChangePoint& p : findChangePoints(series[i].samples, series[i].direction, options))
                found[i].push_back(findingOf(series[i], p));
        },
        progress);
    std::vector<Finding> out;
    for (std::vector<Finding>& some : found)
        for (Finding& f : some) out.push_back(std::move(f));
    return out;
}
