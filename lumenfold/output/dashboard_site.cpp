#include "output/dashboard_site.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <unordered_map>

#include "analysis/median_ranks.h"
#include "common/display_text.h"
#include "common/number_text.h"
#include "common/parallel.h"
#include "model/figures.h"
#include "output/alert_format.h"
#include "output/interval_format.h"
#include "output/page_assets.h"

using nlohmann::json;

namespace {

using RowKey = std::pair<std::string, std::string>;   // machine, program

std::string html(const std::string& fromStore) { return htmlText(displayText(fromStore)); }

std::string safeName(const std::string& text, size_t limit) {
    std::string out;
    for (char c : text.substr(0, limit)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '_' || c == '-';
        out += plain ? c : '_';
    }
    return out.empty() ? "_" : out;
}

// Everything the pages share, worked out once.
struct Site {
    const SiteInput& in;
    std::map<RowKey, std::vector<const Series*>> rows;
    std::unordered_map<const Series*, std::string> pages;          // "series/....html"
    std::map<RowKey, std::string> runFiles;                         // "runs/....js"
    std::unordered_map<const Series*, std::vector<const Finding*>> findings;
    std::map<RowKey, std::vector<size_t>> rowRuns;                  // indices into in.runs
    std::map<RowKey, std::vector<size_t>> excluded;
    std::vector<long long> groups;                                  // per alert
    std::unordered_map<size_t, size_t> lowRanks;                    // frames -> rank of the interval's low end

    explicit Site(const SiteInput& input) : in(input) {}

    // Pages are made on several threads at once: every count of frames a
    // run has is ranked before, and only read while they are made.
    void rankFrameCounts() {
        for (const Series& s : in.series)
            for (const std::vector<double>& run : s.samples)
                if (!lowRanks.contains(run.size())) lowRanks.emplace(run.size(), medianLowRank(run.size()));
    }

    Interval runInterval(const std::vector<double>& sorted) const {
        const size_t low = lowRanks.at(sorted.size());
        Interval out;
        out.estimate = quantile(sorted, 0.5);
        if (low > 0) {
            out.low = sorted[low - 1];
            out.high = sorted[sorted.size() - low];
        }
        return out;
    }
};

// Unique paths: a stem already taken gets -2, -3, ...
std::string uniquePath(std::set<std::string>& taken, const std::string& folder, const std::string& stem,
                       const std::string& extension) {
    std::string path = folder + stem + extension;
    for (int n = 2; !taken.insert(path).second; ++n) path = folder + stem + "-" + std::to_string(n) + extension;
    return path;
}

void indexSite(Site& site) {
    std::set<std::string> taken;
    for (const Series& s : site.in.series) {
        const RowKey key{s.machine, s.program};
        site.rows[key].push_back(&s);
        site.pages[&s] = uniquePath(taken, "series/", siteFileStem(s.machine, s.program, s.figure), ".html");
        if (!site.runFiles.count(key))
            site.runFiles[key] = uniquePath(taken, "runs/", siteFileStem(s.machine, s.program), ".js");
    }
    for (const Finding& f : site.in.findings) site.findings[f.series].push_back(&f);
    for (size_t i = 0; i < site.in.runs.size(); ++i) {
        const RowKey key{site.in.runs[i].machine, site.in.runs[i].program};
        site.rowRuns[key].push_back(i);
        if (site.in.runs[i].excluded) site.excluded[key].push_back(i);
    }
    site.groups = alertGroups(site.in.alerts);
}

std::string number(double value) { return numberText(value, pageNumber); }

void appendNumbers(std::string& out, const char* name, const std::vector<double>& values) {
    out += std::string(",\"") + name + "\":[";
    char text[32];
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) out += ',';
        if (std::isfinite(values[i])) {
            snprintf(text, sizeof text, "%.6g", values[i]);
            out += text;
        } else {
            out += "null";
        }
    }
    out += ']';
}

// What a change point says changed, for people: "renderer: a -> b; ...".
std::string changedText(const ContextChanges& changed) {
    std::string text;
    for (const auto& [key, values] : changed)
        text += (text.empty() ? "" : "; ") + key + ": " + values.first + " \u2192 " + values.second;
    return text.empty() ? "nothing recorded in the context" : text;
}

}  // namespace

std::string siteFileStem(const std::string& machine, const std::string& program, const std::string& figure) {
    return safeName(machine, 80) + "-" + safeName(program, 40) + (figure.empty() ? "" : "-" + safeName(figure, 80));
}

namespace {

// The series' data for its chart: runs by id (their dates and labels are
// in the row's shared runs file), each run's median and interval, the
// levels between change points, the change points.
std::string seriesData(const Site& site, const Series& s, const std::vector<const Finding*>& found,
                       std::vector<double>& medians) {
    std::vector<double> ids, lows, highs;
    for (size_t i = 0; i < s.runs.size(); ++i) {
        const Interval interval = site.runInterval(s.samples[i]);
        ids.push_back(double(s.runs[i]->id));
        medians.push_back(interval.estimate);
        lows.push_back(interval.low);
        highs.push_back(interval.high);
    }
    std::string out = "{\"title\":" + scriptJson(displayText(s.machine) + " \u00b7 " + s.program + " \u00b7 " + s.label);
    out += ",\"figure\":" + scriptJson(s.figure);
    appendNumbers(out, "ids", ids);
    appendNumbers(out, "median", medians);
    appendNumbers(out, "low", lows);
    appendNumbers(out, "high", highs);
    // Each segment's level: the median of its runs' medians.
    std::vector<double> levels, changes;
    size_t from = 0;
    for (size_t k = 0; k <= found.size(); ++k) {
        const size_t to = k < found.size() ? found[k]->point.index : s.runs.size();
        levels.push_back(double(from));
        levels.push_back(double(to));
        levels.push_back(medianOf(std::vector<double>(medians.begin() + long(from), medians.begin() + long(to))));
        if (k < found.size()) {
            changes.push_back(double(to));
            changes.push_back(found[k]->point.ratio.estimate);
        }
        from = to;
    }
    appendNumbers(out, "levels", levels);
    appendNumbers(out, "changes", changes);
    return out + "}";
}

std::string changeTable(const Series& s, const std::vector<const Finding*>& found) {
    if (found.empty()) return "<p>No change point.</p>\n";
    std::string out = "<table class=\"changes\">\n<tr><th>first run after</th><th>level before</th><th>level after</th>"
                      "<th>after/before [95%]</th><th>verdict</th><th>what changed</th></tr>\n";
    for (const Finding* f : found) {
        const StoredRun& run = *s.runs[f->point.index];
        out += "<tr id=\"change-" + std::to_string(f->point.index + 1) + "\"><td>" + std::to_string(f->point.index + 1) +
               " (run " + std::to_string(run.id) + ", " + html(run.started) + ")</td><td>" +
               number(f->point.medianBefore) + "</td><td>" + number(f->point.medianAfter) + "</td><td class=\"ratio\">" +
               htmlText(ratioText(f->point.ratio, changeRatioNumber)) + "</td><td>" + verdictName(f->point.verdict) +
               "</td><td>" + html(changedText(f->changed)) + "</td></tr>\n";
    }
    return out + "</table>\n";
}

std::string excludedTable(const Site& site, const Series& s) {
    const auto at = site.excluded.find({s.machine, s.program});
    if (at == site.excluded.end()) return "";
    std::string rows;
    for (size_t i : at->second) {
        const StoredRun& run = site.in.runs[i];
        std::string median = "-";
        if (i < site.in.data.size())
            for (FigureSamples& f : figureSamplesOfRun(site.in.data[i]))
                if (f.key == s.figure) median = number(medianOf(f.samples));
        rows += "<tr><td>" + std::to_string(run.id) + "</td><td>" + html(run.started) + "</td><td>" + median +
                "</td><td>" + html(run.excludeReason) + "</td><td>" + html(run.sourceFile) + "</td></tr>\n";
    }
    return "<h2>Excluded runs</h2>\n<p>Left out of the chart, the levels and every check.</p>\n<table class=\"excluded\">\n"
           "<tr><th>run</th><th>started</th><th>median</th><th>why</th><th>file</th></tr>\n" + rows + "</table>\n";
}

SiteFile seriesPage(const Site& site, const Series& s, const std::string& path) {
    static const std::vector<const Finding*> none;
    const auto at = site.findings.find(&s);
    const std::vector<const Finding*>& found = at == site.findings.end() ? none : at->second;
    std::vector<double> medians;
    PageParts parts;
    parts.title = displayText(s.machine) + " \u00b7 " + s.program + " \u00b7 " + s.label;
    parts.dataId = "lumenfold-series";
    // Written by hand: a fleet's site holds millions of these numbers.
    parts.dataJson = seriesData(site, s, found, medians);
    const Interval latest = site.runInterval(s.samples.back());
    parts.body = "<nav><a href=\"../index.html\">Fleet</a> \u00b7 <a href=\"../alerts.html\">Alerts</a></nav>\n<h1>" +
                 htmlText(parts.title) + "</h1>\n<p>" + std::to_string(s.runs.size()) + " runs; the latest median " +
                 number(latest.estimate) + " " + htmlText(intervalText(latest, pageNumber)) + "; " +
                 std::to_string(found.size()) + " change point" + (found.size() == 1 ? "" : "s") +
                 ". Each point is a run's median with the 95% interval of it from the run's frames; the line is the "
                 "level of each segment between change points.</p>\n<p id=\"problems\" class=\"problem\"></p>\n"
                 "<div class=\"chart\"><canvas id=\"chart\"></canvas></div>\n<h2>Change points</h2>\n" +
                 changeTable(s, found) + excludedTable(site, s);
    parts.styleFiles = {"../assets/dashboard.css"};
    parts.scriptFiles = {"../assets/chart.js", "../" + site.runFiles.at({s.machine, s.program}), "../assets/series.js"};
    return {path, pageHtml(parts)};
}

}  // namespace

namespace {

// What the runs of one machine's program say on hover, shared by all its
// series pages: when, the file (the run's label), and the versions of what
// ran (renderer, GL, kernel, lumenfold).
SiteFile runsFile(const Site& site, const RowKey& row, const std::string& path) {
    json runs = json::object();
    for (size_t i : site.rowRuns.at(row)) {
        const StoredRun& run = site.in.runs[i];
        std::string about;
        const json context = run.context ? json::parse(*run.context, nullptr, false) : json();
        const json gl = context.is_object() && context.contains("gl") ? context["gl"] : json();
        auto fact = [&](const json& at, const char* name, const char* shown) {
            if (at.is_object() && at.contains(name) && at[name].is_string())
                about += (about.empty() ? "" : "; ") + std::string(shown) + " " + at[name].get<std::string>();
        };
        fact(gl, "renderer", "renderer");
        fact(gl, "version", "GL");
        fact(context.is_object() && context.contains("kernel") ? context["kernel"] : json(), "release", "kernel");
        fact(context, "version", "lumenfold");
        runs[std::to_string(run.id)] = {displayText(run.started), displayText(run.sourceFile), displayText(about)};
    }
    return {path, "'use strict';\nwindow.lumenfoldRuns = " + scriptJson(runs) + ";\n"};
}

// The trend of a series at a glance: its run medians as a line, scaled to
// the box, at most 120 points (a year of nights thinned evenly).
std::string sparkline(const Series& s) {
    std::vector<double> medians;
    const size_t step = (s.samples.size() + 119) / 120;
    for (size_t i = 0; i < s.samples.size(); i += step) medians.push_back(quantile(s.samples[i], 0.5));
    double low = INFINITY, high = -INFINITY;
    for (double m : medians)
        if (std::isfinite(m)) low = std::min(low, m), high = std::max(high, m);
    std::string points;
    char text[40];
    for (size_t i = 0; i < medians.size(); ++i) {
        if (!std::isfinite(medians[i])) continue;
        const double x = medians.size() > 1 ? 100.0 * double(i) / double(medians.size() - 1) : 50;
        const double y = high > low ? 22 - 20 * (medians[i] - low) / (high - low) : 12;
        snprintf(text, sizeof text, "%s%.1f,%.1f", points.empty() ? "" : " ", x, y);
        points += text;
    }
    return "<svg class=\"spark\" viewBox=\"0 0 100 24\" preserveAspectRatio=\"none\" role=\"img\" aria-label=\"trend\">"
           "<polyline fill=\"none\" stroke=\"#1f4e79\" stroke-width=\"1.2\" vector-effect=\"non-scaling-stroke\" points=\"" +
           points + "\"/></svg>";
}

// The figures the index shows: frame time and the rates people judge by.
bool onIndex(const Series& s) {
    const Program program = findProgram(s.program);
    const std::optional<FigureSpec> spec = program != nullptr ? findFigure(program, s.figure) : std::nullopt;
    return spec && !spec->perStep && spec->step < 0 &&
           (spec->key == "frameSeconds" || spec->source == SampleSource::frameRate ||
            spec->source == SampleSource::kernelRate);
}

std::string alertLink(const Alert& a) {
    return "<a class=\"alert " + std::string(alertStateName(a.state)) + "\" href=\"alerts.html#alert-" +
           std::to_string(a.id) + "\" title=\"" + htmlText(alertSummary(a)) + "\">alert " + std::to_string(a.id) +
           " (" + alertStateName(a.state) + ")</a>";
}

std::string indexRow(const Site& site, const RowKey& row, const std::vector<const Series*>& series) {
    std::string figures, others, alerts;
    for (const Series* s : series) {
        const std::string link = "<a href=\"" + htmlText(site.pages.at(s)) + "\">" + htmlText(s->label) + "</a>";
        if (onIndex(*s))
            figures += "<div class=\"figure\">" + link + " <span class=\"latest\">" +
                       number(quantile(s->samples.back(), 0.5)) + "</span>" + sparkline(*s) + "</div>";
        else
            others += link + " ";
    }
    for (const Alert& a : site.in.alerts)
        if (alertOpen(a.state) && a.machine == row.first && (a.program.empty() || a.program == row.second))
            alerts += alertLink(a) + " ";
    return "<tr><td>" + html(row.first) + "</td><td>" + htmlText(row.second) + "</td><td>" +
           std::to_string(series.front()->runs.size()) + "</td><td>" + figures + "</td><td>" +
           (alerts.empty() ? "none" : alerts) + "</td><td><details><summary>" + std::to_string(series.size()) +
           " series</summary>" + others + "</details></td></tr>\n";
}

}  // namespace

namespace {

PageParts sitePage(const std::string& title, const std::string& body) {
    PageParts parts;
    parts.title = title;
    parts.body = body;
    parts.styleFiles = {"assets/dashboard.css"};
    return parts;
}

std::string alertRow(const Site& site, const Alert& a) {
    std::string figures;
    for (const AlertFigure& f : a.figures) {
        std::string key = htmlText(f.key);
        // The figure's series page, when the site has one.
        const auto row = site.rows.find({a.machine, a.program});
        if (row != site.rows.end())
            for (const Series* s : row->second)
                if (s->figure == f.key) key = "<a href=\"" + htmlText(site.pages.at(s)) + "\">" + key + "</a>";
        figures += "<div>" + key + " " + htmlText(ratioText(f.ratio, shortNumber)) + " " + htmlText(f.verdict) + "</div>";
    }
    const std::string who = a.by.empty() ? "" : " (" + html(a.by) + ")";
    return "<tr id=\"alert-" + std::to_string(a.id) + "\"><td>" + std::to_string(a.id) + "</td><td class=\"" +
           alertStateName(a.state) + "\">" + alertStateName(a.state) + "</td><td>" + htmlText(a.kind) + "</td><td>" +
           html(a.machine) + "</td><td>" + htmlText(a.program) + "</td><td>" + figures + "</td><td>" +
           (a.firstRunAfter ? "run " + std::to_string(a.firstRunAfter) + " (" + html(a.firstRunAfterStarted) + ")" : "") +
           "</td><td>" + html(a.explanation) + "</td><td>" + html(a.note) + who + "</td><td>" +
           alertTime(a.raisedAt) + "</td></tr>\n";
}

// Alerts by group (one change seen across a fleet), groups with an open
// alert first, the newest first within each.
SiteFile alertsPage(const Site& site) {
    std::map<long long, std::vector<size_t>> groups;
    for (size_t i = 0; i < site.in.alerts.size(); ++i) groups[site.groups[i]].push_back(i);
    std::vector<std::pair<long long, std::vector<size_t>>> ordered(groups.begin(), groups.end());
    auto open = [&](const std::vector<size_t>& members) {
        return std::any_of(members.begin(), members.end(), [&](size_t i) { return alertOpen(site.in.alerts[i].state); });
    };
    std::stable_sort(ordered.begin(), ordered.end(), [&](const auto& a, const auto& b) {
        return open(a.second) != open(b.second) ? open(a.second) : a.first > b.first;
    });
    std::string body = "<nav><a href=\"index.html\">Fleet</a></nav>\n<h1>Lumenfold alerts</h1>\n<p>" +
                       std::to_string(site.in.alerts.size()) + " alerts in " + std::to_string(groups.size()) +
                       " groups. A group is one change on several machines: the same program and figure, first runs "
                       "after within a day of each other.</p>\n";
    for (const auto& [group, members] : ordered) {
        std::set<std::string> machines;
        for (size_t i : members) machines.insert(site.in.alerts[i].machine);
        const Alert& first = site.in.alerts[members.front()];
        body += "<section class=\"group\" id=\"group-" + std::to_string(group) + "\">\n<h2>Group " +
                std::to_string(group) + ": " + htmlText(first.program.empty() ? first.kind : first.program) + ", " +
                std::to_string(machines.size()) + (machines.size() == 1 ? " machine" : " machines") +
                (open(members) ? ", open" : "") + "</h2>\n<table>\n<tr><th>alert</th><th>state</th><th>kind</th>"
                "<th>machine</th><th>program</th><th>figures, after/before [95%]</th><th>first run after</th>"
                "<th>what changed</th><th>note</th><th>raised</th></tr>\n";
        for (auto i = members.rbegin(); i != members.rend(); ++i) body += alertRow(site, site.in.alerts[*i]);
        body += "</table>\n</section>\n";
    }
    return {"alerts.html", pageHtml(sitePage("Lumenfold alerts", body))};
}

SiteFile indexPage(const Site& site) {
    size_t open = 0;
    for (const Alert& a : site.in.alerts) open += alertOpen(a.state);
    std::set<std::string> machines;
    for (const auto& [row, series] : site.rows) machines.insert(row.first);
    std::string body = "<nav><a href=\"alerts.html\">Alerts</a></nav>\n<h1>Lumenfold fleet</h1>\n<p>" +
                       std::to_string(machines.size()) + " machines, " + std::to_string(site.in.series.size()) +
                       " series, " + std::to_string(site.in.findings.size()) + " change points, " +
                       std::to_string(open) + " open alerts. Each figure shows its latest run's median and the trend "
                       "of its medians. Written by " + html(site.in.generator) + ".</p>\n<table class=\"fleet\">\n"
                       "<tr><th>machine</th><th>program</th><th>runs</th><th>latest median, trend</th>"
                       "<th>open alerts</th><th>every figure</th></tr>\n";
    for (const auto& [row, series] : site.rows) body += indexRow(site, row, series);
    return {"index.html", pageHtml(sitePage("Lumenfold fleet", body + "</table>\n"))};
}

}  // namespace

std::vector<SiteFile> dashboardSite(const SiteInput& input, const ChartLibrary& library) {
    Site site(input);
    indexSite(site);
    std::vector<SiteFile> files;
    files.push_back({"assets/chart.js", library.code});
    files.push_back({"assets/dashboard.css", dashboardStyle()});
    files.push_back({"assets/series.js", dashboardSeriesScript()});
    // A fleet's thousands of pages are independent of each other: made on
    // every core, each in its place, so the site is the same on any number.
    site.rankFrameCounts();
    std::vector<const std::pair<const RowKey, std::string>*> runFiles;
    for (const auto& entry : site.runFiles) runFiles.push_back(&entry);
    std::vector<SiteFile> pages(runFiles.size() + input.series.size());
    forEachIndex(pages.size(), usableCores(), [&](size_t i) {
        if (i < runFiles.size()) {
            pages[i] = runsFile(site, runFiles[i]->first, runFiles[i]->second);
            return;
        }
        const Series& s = input.series[i - runFiles.size()];
        pages[i] = seriesPage(site, s, site.pages.at(&s));
    });
    for (SiteFile& page : pages) files.push_back(std::move(page));
    files.push_back(alertsPage(site));
    files.push_back(indexPage(site));
    return files;
}
