#include "output/history_page.h"

#include "common/display_text.h"
#include "common/number_text.h"
#include "output/interval_format.h"
#include "output/page_assets.h"

using nlohmann::json;

namespace {

json seriesData(const Series& s, const std::vector<Finding>& findings) {
    json runs = json::array();
    for (size_t i = 0; i < s.runs.size(); ++i) {
        const Statistics stats = computeStatistics(s.samples[i]);
        runs.push_back({{"id", s.runs[i]->id}, {"started", displayText(s.runs[i]->started)},
                        {"file", displayText(s.runs[i]->sourceFile)}, {"median", numberJson(stats.median)},
                        {"min", numberJson(stats.min)}, {"max", numberJson(stats.max)}});
    }
    json changes = json::array();
    for (const Finding& f : findings) {
        if (f.series != &s) continue;
        json changed = json::array();
        for (const auto& [key, values] : f.changed)
            changed.push_back({displayText(key), displayText(values.first), displayText(values.second)});
        json change = {
            {"position", f.point.index + 1}, {"verdict", verdictName(f.point.verdict)}, {"changed", changed}};
        change.update(intervalJson(f.point.ratio));
        changes.push_back(change);
    }
    return {{"title", displayText(s.machine) + " \u00b7 " + s.program + " \u00b7 " + s.label},
            {"figure", s.figure}, {"runs", runs}, {"changes", changes}};
}

}  // namespace

std::string historyPage(const std::vector<Series>& series, const std::vector<Finding>& findings,
                        const ChartLibrary& library, const std::string& generator) {
    json data = {{"series", json::array()}};
    for (const Series& s : series) data["series"].push_back(seriesData(s, findings));
    PageParts parts;
    parts.title = "Lumenfold history";
    parts.style = historyPageStyle();
    parts.body = "<h1>Lumenfold history</h1>\n<p>" + std::to_string(series.size()) + " series, " +
                 std::to_string(findings.size()) + " change point" + (findings.size() == 1 ? "" : "s") +
                 ". Each point is a run's median; the band is its frames' range. Written by " +
                 htmlText(displayText(generator)) + " with " + htmlText(library.name + " " + library.version) +
                 ".</p>\n<p id=\"problems\" class=\"problem\"></p>\n<div id=\"charts\"></div>\n";
    parts.library = &library;
    parts.dataId = "lumenfold-history";
    parts.data = std::move(data);
    parts.script = historyPageScript();
    return pageHtml(parts);
}
