#include "output/bisect_output.h"

#include <cmath>

#include "common/display_text.h"
#include "common/number_text.h"
#include "output/interval_format.h"
#include "output/markdown_table.h"
#include "run/series.h"

using nlohmann::json;

namespace {

std::string padRight(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string padLeft(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string revisionText(const Revision& revision) {
    if (revision.subject.empty()) return displayText(revision.name);
    return displayText(revision.name) + " \"" + displayText(revision.subject) + "\"";
}

std::string endsLines(const EndsJudgement& ends, const std::string& what) {
    return what + "bad/good " + ratioText(ends.ratio, shortNumber) + ": " + verdictName(ends.change);
}

// Where the rest of the change can lie when the culprit explains too little of it.
std::string restOfRange(const BisectReport& r) {
    std::vector<std::string> ranges;
    if (r.parent && r.parent->id != r.good.id)
        ranges.push_back(displayText(r.good.name) + " and " + displayText(r.parent->name));
    if (r.culprit && r.culprit->id != r.bad.id)
        ranges.push_back(displayText(r.culprit->name) + " and " + displayText(r.bad.name));
    if (ranges.empty()) return "";
    std::string out = "; the rest lies between " + ranges[0];
    if (ranges.size() > 1) out += ", or between " + ranges[1];
    return out + ": bisect there again";
}

std::string shareLine(const BisectReport& r) {
    if (!std::isfinite(r.share)) return "";
    const std::string percent = numberText(std::round(r.share * 100), readableNumber) + "%";
    // Past 100% the culprit's own change measured larger than the ends': all of it, within the noise.
    if (r.share >= 1) return "it explains all of the change between the ends (" + percent + ")";
    if (r.share >= wholeCulpritShare) return "it explains " + percent + " of the change between the ends";
    return "it explains only " + percent + " of the change between the ends: there may be more than one culprit" +
           restOfRange(r);
}

void culpritLines(const BisectReport& r, std::vector<std::string>& lines) {
    const Revision& c = *r.culprit;
    if (r.result == BisectResult::culprit)
        lines.push_back("first bad commit: " + displayText(c.id) + (c.subject.empty() ? "" : " \"" + displayText(c.subject) + "\""));
    else
        lines.push_back("the search ended at " + revisionText(c) + ", but it is not a reliable culprit: " + r.reason);
    if (!c.date.empty()) lines.push_back("  date " + displayText(c.date));
    if (r.parent && r.confirmation) {
        const Confirmation& k = *r.confirmation;
        lines.push_back("  against its parent " + displayText(r.parent->name) + ": " + ratioText(k.ratio, shortNumber) + ", " +
                        verdictName(k.verdict) + " (" + std::to_string(r.confirmationRuns) + " runs each, by turns): " +
                        (k.confirmed ? "confirmed" : k.restsOnOneRun ? "not confirmed, one run decides it" : "not confirmed"));
    }
    if (r.endsAgain) lines.push_back("  " + endsLines(*r.endsAgain, "the ends measured again: "));
    if (r.result == BisectResult::culprit && !shareLine(r).empty()) lines.push_back("  " + shareLine(r));
}

}  // namespace

const char* resultName(BisectResult result) {
    switch (result) {
        case BisectResult::culprit: return "culprit";
        case BisectResult::unreliable: return "unreliable";
        case BisectResult::ambiguous: return "ambiguous";
        case BisectResult::refused: return "refused";
        case BisectResult::stopped: return "stopped";
        case BisectResult::failed: break;
    }
    return "failed";
}

std::vector<std::string> bisectSummary(const BisectReport& r) {
    std::vector<std::string> lines;
    lines.push_back(r.program + ", " + r.figureLabel + " (" +
                    (r.direction == Direction::higherIsBetter ? "higher" : "lower") + " is better), " +
                    std::to_string(r.runs) + " runs a revision; every run is kept in " + displayText(r.directory));
    if (r.ends) {
        lines.push_back("good end " + revisionText(r.good) + ": " + intervalText(r.ends->good));
        lines.push_back("bad end " + revisionText(r.bad) + ": " + intervalText(r.ends->bad));
        lines.push_back(endsLines(*r.ends, ""));
    }
    if (r.culprit) culpritLines(r, lines);
    if (r.result == BisectResult::refused) lines.push_back("the ends do not differ: there is nothing to bisect");
    if (r.result == BisectResult::ambiguous) {
        std::string names;
        for (const Revision& c : r.candidates) names += (names.empty() ? "" : ", ") + displayText(c.name);
        lines.push_back("the first bad one could be any of " + names + ": the ones before the last were skipped");
    }
    if (r.result == BisectResult::stopped || r.result == BisectResult::failed)
        lines.push_back((r.result == BisectResult::stopped ? "stopped: " : "failed: ") + r.reason);
    if (r.result != BisectResult::culprit && r.result != BisectResult::refused)
        lines.push_back("the runs are kept in " + displayText(r.directory) + ": the same command goes on from them");
    return lines;
}

std::string bisectText(const BisectReport& r) {
    std::string out;
    for (const std::string& line : bisectSummary(r)) out += line + "\n";
    if (r.rows.empty()) return out;
    size_t nameWidth = 10, roleWidth = 10;
    for (const BisectRow& row : r.rows) {
        nameWidth = std::max(nameWidth, displayText(row.revision.name).size() + 2);
        roleWidth = std::max(roleWidth, row.role.size() + 2);
    }
    out += "\n" + padRight("revision", nameWidth) + padRight("measured as", roleWidth) + padLeft("runs", 5) +
           padLeft("median", 12) + "  verdict\n";
    for (const BisectRow& row : r.rows)
        out += padRight(displayText(row.revision.name), nameWidth) + padRight(row.role, roleWidth) +
               padLeft(std::to_string(row.runs), 5) + padLeft(numberText(row.median, readableNumber), 12) + "  " +
               row.verdict + "\n";
    return out;
}

std::string bisectMarkdown(const BisectReport& r) {
    std::string out = "## Bisect: " + markdownText(r.program + ", " + r.figureLabel) + "\n\n";
    for (const std::string& line : bisectSummary(r)) {
        const bool indented = line.starts_with("  ");
        out += (indented ? "  - " : "- ") + markdownText(indented ? line.substr(2) : line) + "\n";
    }
    if (r.rows.empty()) return out;
    out += "\n| revision | measured as | runs | median | verdict |\n| --- | --- | ---: | ---: | --- |\n";
    for (const BisectRow& row : r.rows)
        out += "| " + markdownText(displayText(row.revision.name)) + " | " + markdownText(row.role) + " | " +
               std::to_string(row.runs) + " | " + markdownText(numberText(row.median, readableNumber)) + " | " +
               markdownText(row.verdict) + " |\n";
    return out;
}

namespace {

json revisionJson(const Revision& revision) {
    json out = {{"id", displayText(revision.id)}, {"name", displayText(revision.name)}};
    if (!revision.subject.empty()) out["subject"] = displayText(revision.subject);
    if (!revision.date.empty()) out["date"] = displayText(revision.date);
    return out;
}

json estimateJson(const Interval& interval) {
    return {{"estimate", numberJson(interval.estimate)}, {"ciLow", numberJson(interval.low)}, {"ciHigh", numberJson(interval.high)}};
}

json endsJson(const EndsJudgement& ends) {
    return {{"good", estimateJson(ends.good)},
            {"bad", estimateJson(ends.bad)},
            {"ratio", estimateJson(ends.ratio)},
            {"verdict", verdictName(ends.change)}};
}

json culpritJson(const BisectReport& r) {
    json out = revisionJson(*r.culprit);
    if (r.parent) out["parent"] = revisionJson(*r.parent);
    if (r.confirmation) {
        out["againstParent"] = estimateJson(r.confirmation->ratio);
        out["againstParent"]["verdict"] = verdictName(r.confirmation->verdict);
        out["confirmed"] = r.confirmation->confirmed;
        out["runsEach"] = r.confirmationRuns;
    }
    out["share"] = numberJson(r.share);
    return out;
}

}  // namespace

json bisectJson(const BisectReport& r) {
    json out = {{"program", r.program},
                {"figure", {{"key", r.figureKey}, {"label", r.figureLabel},
                            {"direction", r.direction == Direction::higherIsBetter ? "higher is better" : "lower is better"}}},
                {"runsPerRevision", r.runs},
                {"directory", displayText(r.directory)},
                {"good", revisionJson(r.good)},
                {"bad", revisionJson(r.bad)},
                {"result", resultName(r.result)},
                {"summary", bisectSummary(r)}};
    if (!r.reason.empty()) out["reason"] = r.reason;
    if (r.ends) out["ends"] = endsJson(*r.ends);
    if (r.endsAgain) out["endsAgain"] = endsJson(*r.endsAgain);
    if (r.culprit) out["culprit"] = culpritJson(r);
    json candidates = json::array();
    for (const Revision& c : r.candidates) candidates.push_back(revisionJson(c));
    out["candidates"] = candidates;
    json rows = json::array();
    for (const BisectRow& row : r.rows) {
        json entry = revisionJson(row.revision);
        entry["measuredAs"] = row.role;
        entry["runs"] = row.runs;
        entry["median"] = numberJson(row.median);
        entry["verdict"] = row.verdict;
        entry["folder"] = displayText(row.folder);
        rows.push_back(entry);
    }
    out["revisions"] = rows;
    return out;
}
