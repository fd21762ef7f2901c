// `lumenfold history check` and `show`: the change points of every series,
// as a report or a page of trend charts.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <set>

#include "commands/command_options.h"
#include "commands/history_command.h"
#include "common/display_text.h"
#include "common/files.h"
#include "common/messages.h"
#include "common/version.h"
#include "model/figures.h"
#include "output/dashboard_site.h"
#include "output/formats.h"
#include "output/history_page.h"
#include "output/text_format.h"
#include "programs/programs.h"
#include "store/history_check.h"
#include "store/store_check.h"

namespace {

std::string joined(const std::set<std::string>& names) {
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : ", ") + displayText(name);
    return out.empty() ? "none" : out;
}

void checkFigureKey(const HistoryOptions& o) {
    if (o.figure.empty()) return;
    std::string keys;
    for (Program p : programs()) {
        if (!o.program.empty() && o.program != programName(p)) continue;
        if (findFigure(p, o.figure)) return;
        keys += std::string(keys.empty() ? "" : "; ") + programName(p) + ":";
        for (const FigureSpec& spec : programFigures(p))
            keys += " " + spec.key + (spec.perStep ? "N (N a step from 1)" : "");
    }
    const std::string figure = "\"" + displayText(o.figure) + "\"";
    throw BadRequest(o.program.empty() ? "unknown figure " + figure + "; the figure keys are " + keys
                                       : o.program + " has no figure " + figure + "; its keys are " + keys);
}

// Filters that match nothing are a mistake to name, not a store without change.
void explainNoMatch(HistoryStore& store, const HistoryOptions& o, const std::vector<StoredRun>& matching) {
    if (matching.empty() && (!o.machine.empty() || !o.program.empty())) {
        std::set<std::string> machines, programs;
        for (const StoredRun& r : store.list("", "")) {
            machines.insert(r.machine);
            if (o.machine.empty() || r.machine == o.machine) programs.insert(r.program);
        }
        if (!o.machine.empty() && machines.count(o.machine) == 0)
            throw BadRequest("the store holds no run of machine \"" + displayText(o.machine) +
                             "\"; its machines: " + joined(machines));
        throw BadRequest("the store holds no run of " + o.program +
                         (o.machine.empty() ? "" : " on machine \"" + displayText(o.machine) + "\"") +
                         "; it holds runs of " + joined(programs));
    }
    const bool anyIncluded = std::any_of(matching.begin(), matching.end(), [](const StoredRun& r) { return !r.excluded; });
    if (!o.figure.empty() && anyIncluded)
        throw BadRequest("no matching run that is not excluded gives the figure " + displayText(o.figure));
}

struct Checked : StoreCheck {
    std::unique_ptr<HistoryStore> store;
};

// Reads and checks the matching runs a machine's program at a time, on
// every core, saying how far it is on a fleet's store; keepData keeps every
// run's frames for a site, which shows excluded runs from them.
void checkStore(const HistoryOptions& o, Checked& checked, bool keepData = false) {
    checkFigureKey(o);
    checked.keepData = keepData;
    checked.store = openStore(o.db);
    checked.runs = checked.store->list(o.machine, o.program, true);
    if (checked.runs.size() > 200)
        tell("looking for change points in the series of " + std::to_string(checked.runs.size()) + " runs...");
    readAndCheck(*checked.store, o.figure, checked, 0, [](size_t read, size_t groups, size_t built, size_t done) {
        tell("read " + std::to_string(read) + " of " + std::to_string(groups) + " machines' programs, checked " +
             std::to_string(done) + " of " + std::to_string(built) + " series...");
    });
    if (checked.series.empty()) explainNoMatch(*checked.store, o, checked.runs);
}

// The fleet's site, when --html names a folder: an existing one, or one
// ending in '/', made when missing.
bool namesFolder(const std::string& path) {
    std::error_code ignored;
    return (!path.empty() && path.back() == '/') || std::filesystem::is_directory(path, ignored);
}

int writeSite(const HistoryOptions& o, Checked& checked) {
    const auto started = std::chrono::steady_clock::now();
    std::error_code made;
    std::filesystem::create_directories(o.page, made);
    if (made) {
        tell("no site written: cannot create " + displayText(o.page) + ": " + made.message());
        return 1;
    }
    const std::vector<Alert> alerts = checked.store->alerts();
    tell("writing the site: " + std::to_string(checked.series.size()) + " series pages...");
    std::vector<SiteFile> site = dashboardSite(
        {checked.runs, checked.data, checked.series, checked.findings, alerts, lumenfoldWithVersion()}, chartLibrary());
    std::vector<std::pair<std::string, std::string>> files;
    files.reserve(site.size());
    size_t bytes = 0;
    for (SiteFile& f : site) {
        bytes += f.content.size();
        files.emplace_back(std::move(f.path), std::move(f.content));
    }
    std::string error;
    if (!writeFolderFiles(o.page, files, error)) {
        tell("no site written: " + displayText(error));
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    printf("%zu series, %zu change point%s, %zu alert%s: %zu files, %.1f MB in %.2f s: %s\n", checked.series.size(),
           checked.findings.size(), checked.findings.size() == 1 ? "" : "s", alerts.size(), alerts.size() == 1 ? "" : "s",
           files.size(), double(bytes) / 1e6, seconds,
           displayText((std::filesystem::path(o.page) / "index.html").string()).c_str());
    return 0;
}

}  // namespace

std::vector<CLI::App*> addHistoryCheckCommands(CLI::App* history, HistoryOptions& o) {
    CLI::App* check = addHistoryFilters(history->add_subcommand("check", "Change points of each series (machine, "
                                                                         "program, figure); exit status 3 when "
                                                                         "there is one."),
                                        o, true);
    addFormat(check, o.format);
    check->add_option("--notify", o.notifyUrl, "post every new alert to this URL (a chat webhook, an issue tracker)");
    check->add_option("--stale", o.staleHours, "hours without a run after which a machine raises a silent alert")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    addAlertsCommand(history, o.alerts, o.action);
    CLI::App* show = addHistoryFilters(history->add_subcommand("show", "A page of trend charts, change points marked."),
                                       o, true);
    show->add_option("--html", o.page,
                     "the self-contained HTML page to write; or, for a folder (one that exists, or a path ending in "
                     "'/'), the fleet's site: index.html, a page per series, alerts.html")
        ->required();
    return {check, show};
}

int historyCheckCommand(const HistoryOptions& o) {
    Checked checked;
    checkStore(o, checked);
    if (checked.series.empty()) tell("no series to check: the store holds no matching run that is not excluded");
    const OutputFormat& format = outputFormat(o.format);
    fputs(format.findings(checked.findings, checked.series.size()).c_str(), stdout);
    fflush(stdout);
    if (!format.holdsNotes) tell(changePointsLine(checked.findings.size(), checked.series.size()));
    // Alerts remember what was found, so acknowledging one sticks; a figure
    // or program filter sees part of each machine, so it raises no silent alert.
    const double stale = o.figure.empty() && o.program.empty() ? o.staleHours : 1e18;
    const AlertOutcome alerts = recordCheck(*checked.store, checked.runs, checked.findings, stale, time(nullptr));
    tellAlerts(alerts);
    if (o.onAlerts) o.onAlerts(alerts);
    const bool sent = o.notifyUrl.empty() || notifyAlerts(*checked.store, o.notifyUrl);
    if (!checked.findings.empty()) return 3;
    return sent ? 0 : 1;
}

int historyShowCommand(const HistoryOptions& o) {
    Checked checked;
    checkStore(o, checked, namesFolder(o.page));
    if (namesFolder(o.page)) return writeSite(o, checked);
    std::string error;
    const std::string page = historyPage(checked.series, checked.findings, chartLibrary(), lumenfoldWithVersion());
    if (!writeWholeFile(o.page, page, error)) {
        tell("no HTML page written: " + displayText(error));
        return 1;
    }
    printf("%zu series, %zu change point%s: %s\n", checked.series.size(), checked.findings.size(),
           checked.findings.size() == 1 ? "" : "s", displayText(o.page).c_str());
    return 0;
}
