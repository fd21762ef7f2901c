#include "output/history_page.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/display_text.h"
#include "common/files.h"
#include "common/version.h"
#include "output/html_report.h"


using nlohmann::json;

namespace {

json finite(double value) { return std::isfinite(value) ? json(value) : json(nullptr); }

json seriesData(const FigureSeries& s, const std::vector<Finding>& findings) {
    json runs = json::array();
    for (size_t i = 0; i < s.runs.size(); ++i) {
        const Statistics stats = computeStatistics(s.samples[i]);
        runs.push_back({{"id", s.runs[i]->id}, {"started", displayText(s.runs[i]->started)},
                        {"file", displayText(s.runs[i]->sourceFile)}, {"median", finite(stats.median)},
                        {"min", finite(stats.min)}, {"max", finite(stats.max)}});
    }
    json changes = json::array();
    for (const Finding& f : findings) {
        if (f.series != &s) continue;
        json changed = json::array();
        for (const auto& [key, values] : f.changed)
            changed.push_back({displayText(key), displayText(values.first), displayText(values.second)});
        changes.push_back({{"position", f.point.index + 1}, {"ratio", finite(f.point.ratio.estimate)},
                           {"ciLow", finite(f.point.ratio.low)}, {"ciHigh", finite(f.point.ratio.high)},
                           {"verdict", verdictName(f.point.verdict)}, {"changed", changed}});
    }
    return {{"title", displayText(s.machine) + " \u00b7 " + s.program + " \u00b7 " + s.label},
            {"figure", s.figure}, {"runs", runs}, {"changes", changes}};
}

const char* const historyStyle = R"css(
body { font-family: sans-serif; margin: 1.5em; color: #222; }
section { margin-bottom: 2.5em; }
.chart { position: relative; height: 320px; max-width: 1100px; }
table { border-collapse: collapse; margin-top: .6em; }
td, th { border: 1px solid #ccc; padding: .2em .5em; text-align: left; vertical-align: top; }
.problem { color: #a00; }
)css";

const char* const historyScript = R"js(
'use strict';
const data = JSON.parse(document.getElementById('lumenfold-history').textContent);
function cell(row, text) { const td = document.createElement('td'); td.textContent = text; row.appendChild(td); }
function changeTable(series) {
  const table = document.createElement('table');
  const head = table.insertRow();
  for (const h of ['run', 'after/before [95%]', 'verdict', 'what changed']) {
    const th = document.createElement('th'); th.textContent = h; head.appendChild(th);
  }
  for (const c of series.changes) {
    const row = table.insertRow();
    cell(row, c.position + ' (' + series.runs[c.position - 1].started + ')');
    cell(row, c.ratio.toFixed(4) + ' [' + c.ciLow.toFixed(4) + ', ' + c.ciHigh.toFixed(4) + ']');
    cell(row, c.verdict);
    cell(row, c.changed.length ? c.changed.map(k => k[0] + ': ' + k[1] + ' \u2192 ' + k[2]).join('; ')
                               : 'nothing recorded in the context');
  }
  return table;
}
function draw(series, index) {
  const section = document.createElement('section');
  const title = document.createElement('h2'); title.textContent = series.title; section.appendChild(title);
  const box = document.createElement('div'); box.className = 'chart';
  const canvas = document.createElement('canvas'); canvas.id = 'series-' + index; box.appendChild(canvas);
  section.appendChild(box);
  if (series.changes.length) section.appendChild(changeTable(series));
  document.getElementById('charts').appendChild(section);
  const labels = series.runs.map((r, i) => String(i + 1));
  const changeAt = new Map(series.changes.map(c => [c.position - 1, c]));
  new Chart(canvas, {
    type: 'line',
    data: { labels, datasets: [
      { label: 'frame max', data: series.runs.map(r => r.max), pointRadius: 0, borderWidth: 0,
        backgroundColor: 'rgba(70,130,180,0.15)', fill: '+1' },
      { label: 'frame min', data: series.runs.map(r => r.min), pointRadius: 0, borderWidth: 0, fill: false },
      { label: 'median', data: series.runs.map(r => r.median), borderColor: '#1f4e79', fill: false,
        pointRadius: series.runs.map((r, i) => changeAt.has(i) ? 7 : 2),
        pointBackgroundColor: series.runs.map((r, i) => changeAt.has(i) ? '#c00' : '#1f4e79') } ] },
    options: { animation: false, maintainAspectRatio: false, interaction: { mode: 'index', intersect: false },
      plugins: { tooltip: { callbacks: {
        title: items => { const r = series.runs[items[0].dataIndex];
          return 'run ' + (items[0].dataIndex + 1) + ' (id ' + r.id + '), ' + r.started + ', ' + r.file; },
        footer: items => { const c = changeAt.get(items[0].dataIndex);
          if (!c) return '';
          return ['change point: ' + c.verdict + ', after/before ' + c.ratio.toFixed(4)]
            .concat(c.changed.map(k => k[0] + ': ' + k[1] + ' \u2192 ' + k[2])); } } } } }
  });
}
try { data.series.forEach(draw); document.body.dataset.ready = 'yes'; }
catch (e) { const p = document.getElementById('problems'); p.textContent = 'The page could not draw: ' + e;
  document.body.dataset.ready = 'failed'; }
)js";

}  // namespace

std::string historyPage(const std::vector<FigureSeries>& series, const std::vector<Finding>& findings,
                        const std::string& generator) {
    json data = {{"series", json::array()}};
    for (const FigureSeries& s : series) data["series"].push_back(seriesData(s, findings));
    const ChartLibrary& library = chartLibrary();
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src 'unsafe-inline'; "
        "style-src 'unsafe-inline'; img-src data:\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>Lumenfold history</title>\n"
        "<style>" + std::string(historyStyle) + "</style>\n</head>\n<body>\n<h1>Lumenfold history</h1>\n<p>" +
        std::to_string(series.size()) + " series, " + std::to_string(findings.size()) + " change point" +
        (findings.size() == 1 ? "" : "s") + ". Each point is a run's median; the band is its frames' range. " +
        "Written by " + htmlText(displayText(generator)) + " with " + htmlText(library.name + " " + library.version) +
        ".</p>\n<p id=\"problems\" class=\"problem\"></p>\n<div id=\"charts\"></div>\n";
    page += "<script>" + inlineScript(library.code) + "</script>\n";
    page += "<script type=\"application/json\" id=\"lumenfold-history\">" + scriptJson(data) + "</script>\n";
    page += "<script>" + std::string(historyScript) + "</script>\n</body>\n</html>\n";
    return page;
}

bool writeHistoryPage(const std::string& path, const std::vector<FigureSeries>& series,
                      const std::vector<Finding>& findings, std::string& error) {
    const std::string page = historyPage(series, findings, lumenfoldWithVersion());
    return writeWholeFile(path, page, error);
}
