#include "output/html_report.h"

#include <algorithm>

#include "common/display_text.h"
#include "common/number_text.h"
#include "model/figures.h"
#include "output/interval_format.h"
#include "output/outlier_text.h"
#include "output/page_assets.h"
#include "output/run_figures.h"
#include "output/run_words.h"

using nlohmann::json;

namespace {

std::string plural(size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// The figure the outlier rule judged a chart's samples by: the charted
// figure itself, or for a program of frame blocks the figure that judged
// its frames, whose time and rate charts show the same frames.
const FrameFigure* judgedFor(const std::vector<FrameFigure>& judged, const FigureSpec& figure) {
    for (const FrameFigure& j : judged)
        if (j.key == figure.key) return &j;
    if (figure.program->results.byKernel() ||
        (figure.source != SampleSource::frameRate && figure.source != SampleSource::frameSeconds))
        return nullptr;
    for (const FrameFigure& j : judged)
        if (j.kernel < 0) return &j;
    return nullptr;
}

// Per charted figure, the samples the outlier rule names, by index.
json chartOutliers(const ResultsRun& run) {
    json out = json::object();
    if (!run.recognised) return out;
    const std::vector<FrameFigure> judged = frameFigures(run);
    for (const FigureSpec& figure : programFigures(run.program)) {
        if (!figure.charted || figure.perRun()) continue;
        if (const FrameFigure* by = judgedFor(judged, figure)) out[figure.key] = outlierFrames(*by).all;
    }
    return out;
}

// What the page's script draws for one run, every string already escaped:
// per charted figure, its samples and where each is drawn.
// The run's samples on the time line of its frames: seconds since sampling
// began (the program's start), and where each frame ended, counted from the
// end of its set-up.
json machineChartData(const ResultsRun& run) {
    const MachineSamples& m = *run.machineSamples;
    json sensors = json::array();
    for (size_t c = 0; c < m.columns.size(); ++c) {
        json values = json::array();
        for (double v : m.values[c]) values.push_back(numberJson(v));
        sensors.push_back({{"key", m.columns[c].key}, {"unit", m.columns[c].unit}, {"values", values}});
    }
    json times = json::array();
    for (double t : m.times) times.push_back(numberJson(t));
    json frameEnds = json::array();
    double end = run.hasSetup ? run.setupSeconds : 0;
    if (const std::optional<FigureSpec> frameTime = findFigure(run.program, "frameSeconds"))
        for (double seconds : figureSamples(run, *frameTime)) frameEnds.push_back(numberJson(end += seconds));
    return {{"times", times}, {"sensors", sensors}, {"frameEnds", frameEnds}};
}

json runData(const ReportedRun& reported, size_t index) {
    const ResultsRun& run = reported.run;
    json out;
    out["label"] = displayText(briefRunName(reported, index));
    out["side"] = reported.side;
    out["program"] = run.recognised ? json(programName(run.program)) : json(nullptr);
    json series = json::object();
    for (const FigureSpec& figure : figuresOf(run)) {
        if (!figure.charted) continue;
        json x = json::array(), y = json::array();
        // Frames keep their numbers in the file when the first ones are left out.
        const double shift = figure.chartX == "frame" ? reported.skippedFrames : 0;
        for (double position : figurePositions(run, figure)) x.push_back(position + shift);
        for (double value : figureSamples(run, figure)) y.push_back(numberJson(value));
        series[figure.key] = {{"x", x}, {"y", y}};
    }
    out["series"] = series;
    out["outliers"] = chartOutliers(run);
    out["index"] = index;
    if (run.machineSamples) out["machine"] = machineChartData(run);
    return out;
}

std::string chartHtml(const char* program, const std::string& chart, const char* kind, const std::string& title,
                      const std::string& x, const std::string& y) {
    return std::string("<figure class=\"chart\" data-program=\"") + program + "\" data-chart=\"" + chart +
           "\" data-kind=\"" + kind + "\" data-x=\"" + htmlText(x) + "\" data-y=\"" + htmlText(y) +
           "\"><figcaption>" + htmlText(title) + "</figcaption><div class=\"plot\"><canvas role=\"img\" aria-label=\"" +
           htmlText(title) + "\"></canvas></div></figure>\n";
}

// One chart per unit of the run's sensors, drawn on the frames' time line.
std::string sensorChartsHtml(const ResultsRun& run, size_t index) {
    if (!run.machineSamples || run.machineSamples->times.empty()) return "";
    std::vector<std::string> units;
    for (const SamplesColumn& c : run.machineSamples->columns)
        if (std::find(units.begin(), units.end(), c.unit) == units.end()) units.push_back(c.unit);
    std::string out = "<h4>The machine while it ran</h4>\n<section class=\"charts sensors\" data-run=\"" +
                      std::to_string(index) + "\">\n";
    for (const std::string& unit : units)
        out += chartHtml(programName(run.program), htmlText(unit), "sensors", "Sensors in " + unit + " over the run (frame ends dashed)",
                         "seconds since the program started", unit);
    return out + "</section>\n";
}

std::string pageHeader(bool comparison, size_t files) {
    return std::string("<header>\n<h1>") +
           (comparison ? "Lumenfold comparison: B against A" : "Lumenfold report") + "</h1>\n<p>" +
           plural(files, "results file") + ".</p>\n</header>\n";
}

// Problems: the files' own, the context files', and whatever the script meets.
std::string problemsSection(const std::vector<ReportedRun>& runs) {
    std::string problems;
    for (const ReportedRun& r : runs) {
        for (const Problem& p : r.run.problems) problems += "<li>" + htmlText(problemText(r.run, p)) + "</li>\n";
        if (!r.context.problem.empty()) problems += "<li>" + htmlText(r.context.problem) + "</li>\n";
    }
    return "<section class=\"problems\" id=\"file-problems\"" + std::string(problems.empty() ? " hidden" : "") +
           "><h2>Problems in the files</h2>\n<p>What could be read is shown below.</p>\n<ul>\n" + problems +
           "</ul>\n</section>\n<section class=\"problems\" hidden><h2>Problems drawing this page</h2>\n"
           "<ul id=\"script-problems\"></ul>\n</section>\n";
}

std::string verdictRow(const FigureComparison& f) {
    const std::string verdict = verdictName(f.verdict);
    const std::string verdictClass = f.verdict == Verdict::noClearDifference ? "same" : verdict;
    return "<tr data-figure=\"" + htmlText(displayText(f.figure)) + "\"><td>" + programName(f.program) + "</td><td>" +
           htmlText(displayText(f.label)) + "</td><td class=\"number\">" + numberText(f.ratio.estimate, pageNumber) +
           "</td><td class=\"number\">" +
           (hasInterval(f.ratio) ? numberText(f.ratio.low, pageNumber) + " to " + numberText(f.ratio.high, pageNumber)
                     : std::string("none (too few values)")) +
           "</td><td class=\"" + verdictClass + "\">" + htmlText(verdict) + "</td><td class=\"number\">" +
           std::to_string(f.runsA) + "</td><td class=\"number\">" + std::to_string(f.runsB) + "</td></tr>\n";
}

std::string verdictsSection(const std::vector<FigureComparison>& figures, json& data) {
    std::string out = "<section><h2>Verdicts</h2>\n<table class=\"verdicts\">\n<tr><th>program</th><th>figure</th>"
                      "<th>B/A</th><th>95% interval</th><th>verdict</th><th>runs A</th><th>runs B</th></tr>\n";
    json list = json::array();
    bool oneRunEach = true;
    for (const FigureComparison& f : figures) {
        out += verdictRow(f);
        json entry = {{"program", programName(f.program)},
                      {"label", displayText(f.label)},
                      {"verdict", verdictName(f.verdict)}};
        entry.update(intervalJson(f.ratio));
        list.push_back(entry);
        oneRunEach = oneRunEach && f.runsA <= 1 && f.runsB <= 1;
    }
    out += "</table>\n";
    if (oneRunEach)
        out += "<p class=\"note\">One run per side: the intervals reflect only the variation from frame to "
               "frame, not that between runs, which is usually larger.</p>\n";
    data["figures"] = list;
    return out + "</section>\n";
}

std::string chartsSection(Program program, const std::vector<FigureComparison>& figures, bool timed) {
    const char* name = programName(program);
    std::string out = std::string("<h2>") + name + "</h2>\n<section class=\"charts\">\n";
    bool compared = false;
    for (const FigureComparison& f : figures) compared = compared || f.program == program;
    if (compared)
        out += chartHtml(name, "ratios", "ratios", std::string("B/A of every figure of ") + name +
                         ", with its 95% interval", "B/A", "");
    // Per frame first, then the one value per run.
    for (bool perRun : {false, true})
        for (const FigureSpec& f : programFigures(program))
            if (f.charted && f.perRun() == perRun && (timed || !f.timed()))
                out += chartHtml(name, f.key, perRun ? "per-run" : "per-frame", f.chartTitle, f.chartX, f.unit);
    return out + "</section>\n";
}

std::string row(const std::string& name, const std::string& value) {
    return "<tr><th>" + name + "</th><td>" + htmlText(displayText(value)) + "</td></tr>\n";
}

std::string machineRows(const RunContext& c) {
    std::string out = row("program", c.program) + row("date", c.date) + row("GL vendor", c.gl.vendor) +
                      row("GL renderer", c.gl.renderer) + row("GL version", c.gl.version);
    std::string cpu = c.cpu.model;
    if (c.cpu.cores) cpu += " (" + plural(size_t(*c.cpu.cores), "core") + ", " +
                            plural(size_t(c.cpu.logicalProcessors), "logical processor") + ")";
    out += row("CPU", cpu);
    out += row("kernel", c.kernel ? c.kernel->name + " " + c.kernel->release + " " + c.kernel->machine : "unknown");
    const json& swap = c.swapInterval.inForce;
    std::string swapText = swap.is_null() ? "unknown" : swap.dump(-1, ' ', false, json::error_handler_t::replace);
    if (c.swapInterval.extension) swapText += " (extension " + *c.swapInterval.extension + ")";
    out += row("swap interval", swapText);
    std::string environment;
    for (const auto& [name, value] : c.environment) environment += (environment.empty() ? "" : ", ") + name + "=" + value;
    if (!environment.empty()) out += row("environment", environment);
    return out;
}

std::string warningsRow(const RunContext& c) {
    std::string out = "<tr><th>machine warnings</th><td>";
    if (c.warnings.empty()) return out + "none recorded</td></tr>\n";
    out += "<ul class=\"warnings\">";
    for (const std::string& w : c.warnings) out += "<li>" + htmlText(displayText(w)) + "</li>";
    return out + "</ul></td></tr>\n";
}

// The run's table: its full name, what was read, and its context.
std::string runTable(const ReportedRun& reported) {
    const ContextRead& context = reported.context;
    std::string out = "<table class=\"context\">\n<tr><th>results file</th><td>" + htmlText(reported.run.path) +
                      "</td></tr>\n<tr><th>frames read</th><td>" + std::to_string(frameCount(reported.run)) +
                      "</td></tr>\n";
    if (!context.present)
        return out + "<tr><th>context</th><td>" +
               (context.problem.empty() ? std::string("no context file beside the results file")
                                        : "not used: " + htmlText(context.problem)) +
               "</td></tr>\n</table>\n";
    return out + machineRows(context.context) + warningsRow(context.context) + "</table>\n";
}

// The statistics the text report prints, per figure of the run.
std::string statisticsHtml(const ResultsRun& run) {
    std::vector<Figure> figures;
    for (const FigureSpec& spec : figuresOf(run))
        if (spec.perRun() && run.hasSetup)
            figures.push_back(Figure{spec.key, spec.label, computeStatistics(figureSamples(run, spec))});
    for (Figure& f : runFigures(run)) figures.push_back(std::move(f));
    if (figures.empty()) return "";
    std::string out = "<h4>Figures</h4>\n<div class=\"statistics\"><table class=\"statistics\">\n<tr><th>figure</th>"
                      "<th>count</th>";
    for (const char* name : statisticNames) out += std::string("<th>") + name + "</th>";
    out += "</tr>\n";
    for (const Figure& f : figures) {
        out += "<tr data-figure=\"" + f.key + "\"><td>" + htmlText(f.label) + "</td><td class=\"number\">" +
               std::to_string(f.stats.count) + "</td>";
        for (int s = 0; s < statisticCount; ++s)
            out += "<td class=\"number\">" + numberText(statisticValue(f.stats, s), readableNumber) + "</td>";
        out += "</tr>\n";
    }
    return out + "</table></div>\n";
}

std::string outliersHtml(const ReportedRun& reported) {
    std::vector<std::string> lines =
        outlierLines(shownOutliers(reported.run, reported.skippedFrames), reported.skippedFrames);
    for (std::string& line : lines) line = "stands out: " + line;
    for (const std::string& line : timingLines(reported.run)) lines.push_back(line);
    if (const std::vector<RunTail> tails = runTails(reported.run); anyTail(tails)) lines.push_back(tailsText(tails));
    for (const std::string& line : machineLines(reported.run)) lines.push_back(line);
    if (lines.empty()) return "";
    std::string out = "<ul class=\"outliers\">\n";
    for (const std::string& line : lines) out += "<li>" + htmlText(line) + "</li>\n";
    return out + "</ul>\n";
}

std::string runArticle(const ReportedRun& reported, size_t index) {
    const ResultsRun& run = reported.run;
    std::string out = "<article class=\"run\"><h3>" + htmlText(displayText(briefRunName(reported, index))) + "</h3>\n";
    out += runTable(reported);
    if (reported.validation())
        out += std::string("<p class=\"validation\">") + htmlText(validationNote) + ".</p>\n";
    else
        out += statisticsHtml(run) + outliersHtml(reported) + sensorChartsHtml(run, index);
    if (run.summary.present) {
        out += "<h4>Its own summary</h4>\n<pre class=\"summary\">";
        for (const std::string& line : run.summary.lines) out += htmlText(displayText(line)) + "\n";
        out += "</pre>\n";
    } else if (run.recognised && !run.program->results.summary.empty()) {
        out += "<p class=\"note\">No summary of its own: the run did not end with Esc.</p>\n";
    }
    return out + "</article>\n";
}

std::string runsSection(const std::vector<ReportedRun>& runs, bool comparison) {
    std::string out = "<h2>Runs</h2>\n";
    if (!comparison) {
        out += "<section class=\"runs\">\n";
        for (size_t i = 0; i < runs.size(); ++i) out += runArticle(runs[i], i);
        return out + "</section>\n";
    }
    out += "<div class=\"sides\">\n";
    for (const char* side : {"A", "B"}) {
        out += std::string("<section class=\"side\"><h3>Side ") + side + "</h3>\n";
        for (size_t i = 0; i < runs.size(); ++i)
            if (runs[i].side == side) out += runArticle(runs[i], i);
        out += "</section>\n";
    }
    return out + "</div>\n";
}

std::string pageFooter(const ChartLibrary& library, const std::string& generator) {
    return "<footer><p>Written by " + htmlText(displayText(generator)) + ". Charts drawn by " +
           htmlText(displayText(library.name)) + " " + htmlText(displayText(library.version)) + " (" +
           htmlText(displayText(library.origin)) +
           "), carried inside this page: it needs no network. Hover over a chart for its values.</p></footer>\n";
}

}  // namespace

std::string briefRunName(const ReportedRun& run, size_t index) {
    std::string name = (run.side.empty() ? "" : run.side + " ") + "#" + std::to_string(index + 1);
    const std::string& date = run.context.context.date;
    // "2026-12-07T14:05:09+01:00": the date and time of day, without the offset.
    if (run.context.present && date.size() >= 19 && date[10] == 'T')
        name += " " + date.substr(0, 10) + " " + date.substr(11, 8);
    return name;
}

std::string htmlPage(const std::vector<ReportedRun>& runs, const std::vector<FigureComparison>& figures,
                     const ChartLibrary& library, const std::string& generator, const std::vector<std::string>& notes) {
    const bool comparison = !figures.empty();
    std::string page = pageHeader(comparison, runs.size()) + problemsSection(runs);
    if (!runs.empty() && runs.front().skippedFrames > 0)
        page += "<p class=\"note skipped\">" + htmlText(skipLine(runs.front().skippedFrames)) + ".</p>\n";
    if (!notes.empty()) {
        page += "<section class=\"notes\"><h2>Before reading the verdicts</h2>\n<ul>\n";
        for (const std::string& note : notes) page += "<li>" + htmlText(note) + "</li>\n";
        page += "</ul>\n</section>\n";
    }
    json data;
    data["runs"] = json::array();
    for (size_t i = 0; i < runs.size(); ++i)
        if (!runs[i].validation()) data["runs"].push_back(runData(runs[i], i));
    if (comparison) page += verdictsSection(figures, data);
    for (Program program : programs()) {
        bool shown = false, timed = false;
        for (const ReportedRun& r : runs)
            if (r.run.recognised && r.run.program == program) {
                shown = true;
                timed = timed || r.run.timing.present;
            }
        if (shown) page += chartsSection(program, figures, timed);
    }
    PageParts parts;
    parts.title = comparison ? "Lumenfold comparison" : "Lumenfold report";
    parts.style = reportPageStyle();
    parts.body = page + runsSection(runs, comparison) + pageFooter(library, generator);
    parts.library = &library;
    parts.dataId = "lumenfold-data";
    parts.data = std::move(data);
    parts.script = reportPageScript();
    return pageHtml(parts);
}
