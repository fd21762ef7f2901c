#include "report/html_report.h"

#include <cmath>
#include <map>

#include "common/display_text.h"
#include "report/report_format.h"
#include "run/run_support.h"

using nlohmann::json;

namespace {

// A context file is a few kilobytes; anything much larger is not one.
constexpr long long maxContextFileBytes = 1024 * 1024;

// Text from a file, shown in HTML.
std::string quoted(const std::string& raw) { return htmlText(displayText(raw)); }

// A context value for people: strings as they are, null as "unknown".
std::string contextValue(const json& value) {
    if (value.is_null()) return "unknown";
    if (value.is_string()) return value.get<std::string>();
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

const json* member(const json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::string contextField(const json& context, const char* key, const char* inner = nullptr) {
    const json* value = member(context, key);
    if (value != nullptr && inner != nullptr) value = member(*value, inner);
    return value == nullptr ? "unknown" : contextValue(*value);
}

std::string cpuText(const json& context) {
    const json* cpu = member(context, "cpu");
    if (cpu == nullptr) return "unknown";
    std::string text = contextField(context, "cpu", "model");
    const json* cores = member(*cpu, "cores");
    const json* logical = member(*cpu, "logicalProcessors");
    if (cores != nullptr && logical != nullptr)
        text += " (" + contextValue(*cores) + " cores, " + contextValue(*logical) + " logical processors)";
    return text;
}

std::string kernelText(const json& context) {
    const json* kernel = member(context, "kernel");
    if (kernel == nullptr || !kernel->is_object()) return kernel == nullptr ? "unknown" : contextValue(*kernel);
    return contextField(context, "kernel", "name") + " " + contextField(context, "kernel", "release") + " " +
           contextField(context, "kernel", "machine");
}

std::string swapText(const json& context) {
    const json* swap = member(context, "swapInterval");
    if (swap == nullptr) return "unknown";
    if (!swap->is_object()) return contextValue(*swap);
    return contextField(context, "swapInterval", "inForce") + " (extension " +
           contextField(context, "swapInterval", "extension") + ")";
}

std::vector<std::string> warningsOf(const json& context) {
    std::vector<std::string> warnings;
    const json* list = member(context, "warnings");
    if (list == nullptr || !list->is_array()) return warnings;
    for (const json& w : *list) {
        const json* message = member(w, "message");
        warnings.push_back(message != nullptr ? contextValue(*message) : contextValue(w));
    }
    return warnings;
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

json number(double value) { return std::isfinite(value) ? json(value) : json(nullptr); }

// What the page's script draws for one run, every string already escaped.
json runData(const ReportedRun& reported, size_t index) {
    const ResultsRun& run = reported.run;
    json out;
    out["label"] = (reported.side.empty() ? "" : reported.side + ": ") + "#" + std::to_string(index + 1) + " " +
                   baseName(run.path);
    out["side"] = reported.side;
    out["program"] = run.recognised ? json(programName(run.program)) : json(nullptr);
    out["setupSeconds"] = run.hasSetup ? number(run.setupSeconds) : json(nullptr);
    json frameSeconds = json::array();
    if (run.program == Program::streaming) {
        // A frame's time is the sum of its three kernel blocks.
        size_t frames = run.kernels[0].size();
        for (int k = 1; k < kernelCount; ++k) frames = std::min(frames, run.kernels[k].size());
        for (size_t i = 0; i < frames; ++i) {
            double total = 0;
            for (int k = 0; k < kernelCount; ++k) total += run.kernels[k][i].seconds;
            frameSeconds.push_back(number(total));
        }
        json kernels = json::object();
        for (int k = 0; k < kernelCount; ++k) {
            json rates = json::array();
            for (const KernelBlock& block : run.kernels[k]) rates.push_back(number(block.millionsPerSecond));
            kernels[kernelName(k)] = rates;
        }
        out["kernels"] = kernels;
    } else {
        json rates = json::array();
        json steps = json::array();
        for (const Frame& frame : run.frames) {
            frameSeconds.push_back(number(frame.seconds));
            rates.push_back(number(frame.rate));
            if (run.program == Program::triangles) steps.push_back(trianglesStep(frame.triangles));
        }
        out["rates"] = rates;
        if (run.program == Program::triangles) out["steps"] = steps;
    }
    out["frameSeconds"] = frameSeconds;
    return out;
}

// JSON inside a script element: nothing in it may close the element or
// open a comment, so <, > and & are written as \u escapes.
std::string scriptJson(const json& value) {
    const std::string text = value.dump(-1, ' ', true, json::error_handler_t::replace);
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '<') out += "\\u003c";
        else if (c == '>') out += "\\u003e";
        else if (c == '&') out += "\\u0026";
        else out += c;
    }
    return out;
}

// A script inlined whole: only a closing tag could end it early.
std::string inlineScript(const std::string& code) {
    std::string out;
    size_t from = 0;
    for (size_t at; (at = code.find("</", from)) != std::string::npos; from = at + 2)
        out += code.substr(from, at - from) + "<\\/";
    return out + code.substr(from);
}

struct ChartSpec {
    const char* kind;
    const char* title;
};

std::vector<ChartSpec> chartsOf(Program program) {
    switch (program) {
        case Program::triangles:
            return {{"frame-seconds", "Frame time per frame (s)"},
                    {"triangles-by-step", "Triangles/s by step"},
                    {"setup-seconds", "Set-up time per run (s)"}};
        case Program::cube:
            return {{"frame-seconds", "Frame time per frame (s)"},
                    {"vertices-per-frame", "Vertices/s per frame"},
                    {"setup-seconds", "Set-up time per run (s)"}};
        case Program::streaming:
            return {{"frame-seconds", "Frame time per frame (s), the three kernels together"},
                    {"kernel-float", "Float kernel: millions of executions/s per frame"},
                    {"kernel-integer", "Integer kernel: millions of executions/s per frame"},
                    {"kernel-logic", "Logic kernel: millions of executions/s per frame"},
                    {"setup-seconds", "Set-up time per run (s)"}};
    }
    return {};
}

std::string figureHtml(const char* program, const char* kind, const std::string& title) {
    return std::string("<figure class=\"chart\" data-program=\"") + program + "\" data-kind=\"" + kind +
           "\"><figcaption>" + title + "</figcaption><div class=\"plot\"><canvas role=\"img\" aria-label=\"" +
           title + "\"></canvas></div></figure>\n";
}

std::string contextTable(const ReportedRun& reported) {
    const RunContext& context = reported.context;
    std::string out = "<table class=\"context\">\n";
    auto row = [&](const char* name, const std::string& value) {
        out += std::string("<tr><th>") + name + "</th><td>" + quoted(value) + "</td></tr>\n";
    };
    const ResultsRun& run = reported.run;
    out += "<tr><th>results file</th><td>" + htmlText(run.path) + "</td></tr>\n";
    out += std::string("<tr><th>frames read</th><td>") + std::to_string(frameCount(run)) + "</td></tr>\n";
    if (!context.present) {
        out += "<tr><th>context</th><td>" +
               (context.problem.empty() ? std::string("no context file beside the results file")
                                        : "not used: " + htmlText(context.problem)) +
               "</td></tr>\n</table>\n";
        return out;
    }
    const json& c = context.data;
    row("program", contextField(c, "program"));
    row("date", contextField(c, "date"));
    row("GL vendor", contextField(c, "gl", "vendor"));
    row("GL renderer", contextField(c, "gl", "renderer"));
    row("GL version", contextField(c, "gl", "version"));
    row("CPU", cpuText(c));
    row("kernel", kernelText(c));
    row("swap interval", swapText(c));
    const std::vector<std::string> warnings = warningsOf(c);
    out += "<tr><th>machine warnings</th><td>";
    if (warnings.empty()) out += "none recorded";
    else {
        out += "<ul class=\"warnings\">";
        for (const std::string& w : warnings) out += "<li>" + quoted(w) + "</li>";
        out += "</ul>";
    }
    out += "</td></tr>\n</table>\n";
    return out;
}

std::string runArticle(const ReportedRun& reported, size_t index) {
    const ResultsRun& run = reported.run;
    std::string out = "<article class=\"run\"><h3>" + (reported.side.empty() ? "" : reported.side + ": ") + "#" +
                      std::to_string(index + 1) + " " + htmlText(baseName(run.path)) + "</h3>\n";
    out += contextTable(reported);
    if (run.summary.present) {
        out += "<h4>Its own summary</h4>\n<pre class=\"summary\">";
        for (const std::string& line : run.summary.lines) out += quoted(line) + "\n";
        out += "</pre>\n";
    } else if (run.recognised && run.program != Program::streaming) {
        out += "<p class=\"note\">No summary of its own: the run did not end with Esc.</p>\n";
    }
    return out + "</article>\n";
}

const char* const pageStyle = R"css(
:root { color-scheme: light; }
body { font: 15px/1.45 system-ui, sans-serif; margin: 0 auto; max-width: 1200px; padding: 1em 2em; color: #1b1b1b; }
h1 { font-size: 1.6em; margin-bottom: 0.2em; }
h2 { border-bottom: 1px solid #ccc; margin-top: 1.6em; }
.problems { background: #fff4e5; border: 1px solid #e0a040; padding: 0.5em 1em; }
.charts { display: grid; grid-template-columns: repeat(auto-fit, minmax(520px, 1fr)); gap: 1em; }
figure.chart { margin: 0; border: 1px solid #ddd; padding: 0.5em; break-inside: avoid; }
figcaption { font-weight: 600; margin-bottom: 0.3em; }
.plot { position: relative; height: 320px; }
.empty { color: #a00; }
.runs { display: grid; grid-template-columns: repeat(auto-fit, minmax(420px, 1fr)); gap: 1em; }
.sides { display: grid; grid-template-columns: 1fr 1fr; gap: 1em; }
article.run { border: 1px solid #ddd; padding: 0 1em 1em; break-inside: avoid; }
table { border-collapse: collapse; }
th, td { text-align: left; vertical-align: top; padding: 0.15em 0.6em 0.15em 0; }
table.verdicts td.number { text-align: right; font-variant-numeric: tabular-nums; }
.faster { color: #06702f; font-weight: 600; }
.slower { color: #b00020; font-weight: 600; }
td, pre { overflow-wrap: anywhere; }
pre.summary { background: #f6f6f6; padding: 0.5em; white-space: pre-wrap; }
ul.warnings { margin: 0; padding-left: 1.2em; }
footer { margin-top: 2em; border-top: 1px solid #ccc; color: #555; font-size: 0.9em; }
@media print {
  body { max-width: none; padding: 0; font-size: 11pt; }
  .charts, .runs, .sides { display: block; }
  figure.chart, article.run { margin-bottom: 1em; page-break-inside: avoid; }
  .plot { height: 7cm; width: 100%; }
}
)css";

// Draws every figure the page declares from the data beside it, and marks
// each canvas with the points it drew so a missing or empty chart shows.
const char* const pageScript = R"js(
(function () {
  'use strict';
  var problemList = document.getElementById('script-problems');
  function note(message) {
    var item = document.createElement('li');
    item.textContent = message;
    problemList.appendChild(item);
    problemList.parentNode.hidden = false;
  }
  window.addEventListener('error', function (event) {
    note('This page could not draw everything: ' + event.message);
  });
  if (typeof Chart === 'undefined') { note('The charting library did not load; the tables are complete.'); return; }
  Chart.defaults.animation = false;
  Chart.defaults.font.family = 'system-ui, sans-serif';
  var data = JSON.parse(document.getElementById('lumenfold-data').textContent);
  var palettes = { '': ['#1f77b4', '#d62728', '#2ca02c', '#9467bd', '#ff7f0e', '#8c564b', '#e377c2', '#17becf', '#7f7f7f', '#bcbd22'],
                   'A': ['#1f4e9c', '#3f7fd0', '#6fa8e8', '#12306b', '#90bdf0'],
                   'B': ['#c2410c', '#ea7a2a', '#f5a25d', '#8a2d07', '#f8c08f'] };
  var used = { '': 0, 'A': 0, 'B': 0 };
  data.runs.forEach(function (run) {
    var palette = palettes[run.side] || palettes[''];
    run.colour = palette[used[run.side]++ % palette.length];
  });
  function perFrame(values) {
    return values.map(function (v, i) { return { x: i + 1, y: v }; });
  }
  function seriesOf(run, kind) {
    if (kind === 'frame-seconds') return perFrame(run.frameSeconds);
    if (kind === 'vertices-per-frame') return perFrame(run.rates || []);
    if (kind === 'triangles-by-step')
      return (run.rates || []).map(function (v, i) { return { x: run.steps[i], y: v }; });
    if (kind.indexOf('kernel-') === 0) return perFrame((run.kernels || {})[kind.slice(7)] || []);
    return [];
  }
  function counted(points) {
    return points.filter(function (p) { return p.y !== null && isFinite(p.y); }).length;
  }
  var axisTitles = { 'frame-seconds': ['frame', 'seconds'], 'vertices-per-frame': ['frame', 'vertices/s'],
                     'triangles-by-step': ['step (600 more triangles per step)', 'triangles/s'],
                     'kernel-float': ['frame', 'M executions/s'], 'kernel-integer': ['frame', 'M executions/s'],
                     'kernel-logic': ['frame', 'M executions/s'] };
  var charts = [];
  function axis(text, extra) {
    var scale = { title: { display: true, text: text } };
    for (var key in extra) scale[key] = extra[key];
    return scale;
  }
  function lineChart(canvas, program, kind) {
    var datasets = data.runs.filter(function (run) { return run.program === program; }).map(function (run) {
      return { label: run.label, data: seriesOf(run, kind), borderColor: run.colour, backgroundColor: run.colour,
               borderWidth: 1.5, pointRadius: 2, spanGaps: false };
    });
    var points = datasets.reduce(function (sum, d) { return sum + counted(d.data); }, 0);
    var titles = axisTitles[kind];
    charts.push(new Chart(canvas, {
      type: 'line', data: { datasets: datasets },
      options: { responsive: true, maintainAspectRatio: false, parsing: false, normalized: true,
                 interaction: { mode: 'nearest', intersect: false },
                 scales: { x: axis(titles[0], { type: 'linear', ticks: { precision: 0 } }), y: axis(titles[1], {}) },
                 plugins: { legend: { position: 'bottom' } } } }));
    return points;
  }
  function setupChart(canvas, program) {
    var runs = data.runs.filter(function (run) { return run.program === program; });
    var values = runs.map(function (run) { return run.setupSeconds; });
    charts.push(new Chart(canvas, {
      type: 'bar',
      data: { labels: runs.map(function (run) { return run.label; }),
              datasets: [{ label: 'set-up time (s)', data: values,
                           backgroundColor: runs.map(function (run) { return run.colour; }) }] },
      options: { responsive: true, maintainAspectRatio: false, scales: { y: axis('seconds', { beginAtZero: true }) },
                 plugins: { legend: { display: false } } } }));
    return values.filter(function (v) { return v !== null && isFinite(v); }).length;
  }
  // The ratio B/A of each figure as a point inside its interval, on an axis through 1.
  var oneLine = {
    id: 'oneLine',
    afterDatasetsDraw: function (chart) {
      var x = chart.scales.x.getPixelForValue(1);
      var ctx = chart.ctx;
      ctx.save();
      ctx.strokeStyle = '#444';
      ctx.setLineDash([4, 3]);
      ctx.beginPath();
      ctx.moveTo(x, chart.chartArea.top);
      ctx.lineTo(x, chart.chartArea.bottom);
      ctx.stroke();
      ctx.restore();
    }
  };
  var verdictColours = { 'faster': '#06702f', 'slower': '#b00020' };
  function ratioChart(canvas, program) {
    var figures = (data.figures || []).filter(function (f) { return f.program === program; });
    var labels = figures.map(function (f) { return f.label; });
    var colours = figures.map(function (f) { return verdictColours[f.verdict] || '#777'; });
    var low = 1, high = 1;
    figures.forEach(function (f) {
      [f.ciLow, f.ciHigh, f.ratio].forEach(function (v) { if (v !== null && isFinite(v)) { low = Math.min(low, v); high = Math.max(high, v); } });
    });
    var margin = Math.max(0.02, (high - low) * 0.1);
    canvas.parentNode.style.height = Math.max(160, 26 * figures.length + 80) + 'px';
    charts.push(new Chart(canvas, {
      type: 'bar',
      data: { labels: labels, datasets: [
        { type: 'bar', label: '95% interval of B/A', data: figures.map(function (f) { return [f.ciLow, f.ciHigh]; }),
          backgroundColor: colours.map(function (c) { return c + '55'; }), borderColor: colours, borderWidth: 1,
          barPercentage: 0.6 },
        { type: 'scatter', label: 'B/A', data: figures.map(function (f) { return { x: f.ratio, y: f.label }; }),
          backgroundColor: '#111', borderColor: '#111', pointRadius: 4 }] },
      options: { indexAxis: 'y', responsive: true, maintainAspectRatio: false,
                 scales: { x: axis('B/A (1 = the same; right of 1: B larger)', { type: 'linear', min: low - margin, max: high + margin }),
                           y: { type: 'category', labels: labels } },
                 plugins: { tooltip: { callbacks: { label: function (item) {
                   var f = figures[item.dataIndex];
                   return f.label + ': B/A ' + f.ratio + ' [' + f.ciLow + ', ' + f.ciHigh + '], ' + f.verdict;
                 } } } } },
      plugins: [oneLine] }));
    return figures.filter(function (f) { return f.ratio !== null && isFinite(f.ratio); }).length;
  }
  document.querySelectorAll('figure.chart').forEach(function (figure) {
    var canvas = figure.querySelector('canvas');
    var program = figure.dataset.program, kind = figure.dataset.kind;
    var points = kind === 'setup-seconds' ? setupChart(canvas, program)
               : kind === 'ratios' ? ratioChart(canvas, program) : lineChart(canvas, program, kind);
    canvas.dataset.points = String(points);
    if (points === 0) {
      var empty = document.createElement('p');
      empty.className = 'empty';
      empty.textContent = 'No value could be read for this chart.';
      figure.appendChild(empty);
    }
  });
  // Printed pages are laid out anew; the charts follow their boxes.
  window.addEventListener('beforeprint', function () { charts.forEach(function (c) { c.resize(); }); });
  window.addEventListener('afterprint', function () { charts.forEach(function (c) { c.resize(); }); });
  document.documentElement.dataset.drawn = String(charts.length);
})();
)js";

std::string numberText(double value) {
    if (!std::isfinite(value)) return "-";
    char text[40];
    snprintf(text, sizeof text, "%.4g", value);
    return text;
}

}  // namespace

std::string htmlText(const std::string& displayed) {
    std::string out;
    out.reserve(displayed.size());
    for (char c : displayed) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

RunContext readRunContext(const ResultsRun& run) {
    RunContext context;
    if (run.givenPath.empty()) return context;
    const std::string path = contextPathFor(run.givenPath);
    std::string text;
    std::string error;
    if (!readRegularFile(path, maxContextFileBytes, text, error)) {
        // No context file at all is the usual case for a copied results file.
        if (error.find("No such file") == std::string::npos)
            context.problem = displayText(path) + ": " + error;
        return context;
    }
    return parseRunContext(text, path);
}

RunContext parseRunContext(const std::string& text, const std::string& path) {
    RunContext context;
    json data = json::parse(text, nullptr, false);
    if (data.is_discarded() || !data.is_object()) {
        context.problem = displayText(path) + ": not a context file (not a JSON object)";
        return context;
    }
    context.present = true;
    context.data = std::move(data);
    return context;
}

std::string htmlPage(const std::vector<ReportedRun>& runs, const std::vector<ComparedFigure>& figures,
                     const ChartLibrary& library, const std::string& generator) {
    const bool comparison = !figures.empty();
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        // Nothing may be fetched: the page must work offline, and a hostile
        // string that slipped through could not load anything either.
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src 'unsafe-inline'; "
        "style-src 'unsafe-inline'; img-src data:\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
    page += comparison ? "Lumenfold comparison" : "Lumenfold report";
    page += "</title>\n<style>" + std::string(pageStyle) + "</style>\n</head>\n<body>\n<header>\n<h1>";
    page += comparison ? "Lumenfold comparison: B against A" : "Lumenfold report";
    page += "</h1>\n<p>" + std::to_string(runs.size()) + " results file" + (runs.size() == 1 ? "" : "s") +
            ".</p>\n</header>\n";

    // Problems: the files' own, the context files', and whatever the script meets.
    std::string problems;
    for (const ReportedRun& r : runs) {
        for (const Problem& p : r.run.problems) problems += "<li>" + htmlText(problemText(r.run, p)) + "</li>\n";
        if (!r.context.problem.empty()) problems += "<li>" + htmlText(r.context.problem) + "</li>\n";
    }
    page += "<section class=\"problems\" id=\"file-problems\"" + std::string(problems.empty() ? " hidden" : "") +
            "><h2>Problems in the files</h2>\n<p>What could be read is shown below.</p>\n<ul>\n" + problems +
            "</ul>\n</section>\n";
    page += "<section class=\"problems\" hidden><h2>Problems drawing this page</h2>\n<ul id=\"script-problems\"></ul>\n"
            "</section>\n";

    std::vector<Program> programs;
    for (Program p : {Program::triangles, Program::cube, Program::streaming})
        for (const ReportedRun& r : runs)
            if (r.run.recognised && r.run.program == p) {
                programs.push_back(p);
                break;
            }

    json data;
    data["runs"] = json::array();
    for (size_t i = 0; i < runs.size(); ++i) data["runs"].push_back(runData(runs[i], i));
    if (comparison) {
        page += "<section><h2>Verdicts</h2>\n<table class=\"verdicts\">\n<tr><th>program</th><th>figure</th>"
                "<th>B/A</th><th>95% interval</th><th>verdict</th><th>runs A</th><th>runs B</th></tr>\n";
        json list = json::array();
        for (const ComparedFigure& f : figures) {
            const std::string verdictClass = f.verdict == "faster" || f.verdict == "slower" ? f.verdict : "same";
            page += "<tr><td>" + quoted(f.program) + "</td><td>" + quoted(f.label) + "</td><td class=\"number\">" +
                    numberText(f.ratio) + "</td><td class=\"number\">" +
                    (std::isfinite(f.ciLow) && std::isfinite(f.ciHigh)
                         ? numberText(f.ciLow) + " to " + numberText(f.ciHigh)
                         : std::string("none (too few values)")) +
                    "</td><td class=\"" + verdictClass + "\">" + quoted(f.verdict) +
                    "</td><td class=\"number\">" + std::to_string(f.runsA) + "</td><td class=\"number\">" +
                    std::to_string(f.runsB) + "</td></tr>\n";
            list.push_back({{"program", displayText(f.program)},
                            {"label", displayText(f.label)},
                            {"ratio", number(f.ratio)},
                            {"ciLow", number(f.ciLow)},
                            {"ciHigh", number(f.ciHigh)},
                            {"verdict", displayText(f.verdict)}});
        }
        page += "</table>\n";
        bool oneRunEach = true;
        for (const ComparedFigure& f : figures) oneRunEach = oneRunEach && f.runsA <= 1 && f.runsB <= 1;
        if (oneRunEach)
            page += "<p class=\"note\">One run per side: the intervals reflect only the variation from frame to "
                    "frame, not that between runs, which is usually larger.</p>\n";
        page += "</section>\n";
        data["figures"] = list;
    }

    for (Program program : programs) {
        const char* name = programName(program);
        page += std::string("<h2>") + name + "</h2>\n<section class=\"charts\">\n";
        if (comparison) {
            bool any = false;
            for (const ComparedFigure& f : figures) any = any || f.program == name;
            if (any) page += figureHtml(name, "ratios", std::string("B/A of every figure of ") + name +
                                                            ", with its 95% interval");
        }
        for (const ChartSpec& chart : chartsOf(program)) page += figureHtml(name, chart.kind, chart.title);
        page += "</section>\n";
    }

    page += "<h2>Runs</h2>\n";
    if (comparison) {
        page += "<div class=\"sides\">\n";
        for (const char* side : {"A", "B"}) {
            page += std::string("<section class=\"side\"><h3>Side ") + side + "</h3>\n";
            for (size_t i = 0; i < runs.size(); ++i)
                if (runs[i].side == side) page += runArticle(runs[i], i);
            page += "</section>\n";
        }
        page += "</div>\n";
    } else {
        page += "<section class=\"runs\">\n";
        for (size_t i = 0; i < runs.size(); ++i) page += runArticle(runs[i], i);
        page += "</section>\n";
    }

    page += "<footer><p>Written by " + htmlText(displayText(generator)) + ". Charts drawn by " +
            htmlText(displayText(library.name)) + " " + htmlText(displayText(library.version)) + " (" +
            htmlText(displayText(library.origin)) +
            "), carried inside this page: it needs no network. Hover over a chart for its values.</p></footer>\n";
    page += "<script>" + inlineScript(library.code) + "</script>\n";
    page += "<script type=\"application/json\" id=\"lumenfold-data\">" + scriptJson(data) + "</script>\n";
    page += "<script>" + std::string(pageScript) + "</script>\n</body>\n</html>\n";
    return page;
}
