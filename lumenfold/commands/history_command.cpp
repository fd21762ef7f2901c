#include "commands/history_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <set>
#include <stdexcept>

#include "common/display_text.h"
#include "common/messages.h"
#include "common/folder_files.h"
#include "common/whole_file.h"
#include "model/figures.h"
#include "store/history_add.h"
#include "store/history_check.h"
#include "store/store_check.h"
#include "output/dashboard_site.h"
#include "output/formats.h"
#include "output/history_page.h"
#include "output/text_format.h"
#include "store/history_store.h"
#include "model/input_files.h"
#include "programs/programs.h"

namespace {

// A request that cannot be answered as asked (a --db, figure, machine or
// program the store does not know): exit status 2, never read as "no change".
struct BadRequest : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Only adding makes a SQLite store: a mistyped --db must not answer a
// check or a list from a store made empty on the spot.
std::unique_ptr<HistoryStore> openStore(const std::string& db, bool create = false) {
    StoreLocation location;
    std::string error;
    if (!storeLocation(db, location, error)) throw BadRequest(error);
    std::error_code missing;
    if (!create && !location.postgres && !std::filesystem::exists(location.target, missing))
        throw std::runtime_error("no history store at " + location.shown +
                                 "; `lumenfold history add` or `lumenfold run --history` makes one");
    return std::make_unique<HistoryStore>(location);
}

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

int addCommand(const HistoryOptions& o) {
    std::vector<std::string> errors;
    const std::vector<std::string> files = expandInputs(o.paths, errors);
    for (const std::string& e : errors) tell(e);
    auto store = openStore(o.db, true);
    size_t added = 0, present = 0, failed = 0;
    auto lastShown = std::chrono::steady_clock::now();
    for (size_t i = 0; i < files.size(); ++i) {
        const AddOutcome outcome = addResultsFile(*store, files[i], o.machine);
        if (!outcome.message.empty()) tell(outcome.message);
        added += outcome.result == AddResult::added;
        present += outcome.result == AddResult::alreadyThere;
        failed += outcome.result == AddResult::notAdded;
        if (std::chrono::steady_clock::now() - lastShown > std::chrono::seconds(2)) {
            tell("added " + std::to_string(i + 1) + " of " + std::to_string(files.size()) + " files...");
            lastShown = std::chrono::steady_clock::now();
        }
    }
    printf("added %zu run%s, %zu already there%s\n", added, added == 1 ? "" : "s", present,
           failed ? (", " + std::to_string(failed) + " not added").c_str() : "");
    return failed > 0 || !errors.empty() ? 1 : 0;
}

int listCommand(const HistoryOptions& o) {
    const std::vector<StoredRun> runs = openStore(o.db)->list(o.machine, o.program);
    fputs(outputFormat(o.format).runList(runs).c_str(), stdout);
    fflush(stdout);
    return 0;
}

int excludeCommand(const HistoryOptions& o, bool exclude) {
    if (!openStore(o.db)->setExcluded(o.run, exclude, o.reason)) {
        tell("no run " + std::to_string(o.run) + " in the history store");
        return 1;
    }
    printf("run %lld %s\n", o.run, exclude ? ("excluded: " + displayText(o.reason)).c_str() : "included again");
    return 0;
}

struct Checked : StoreCheck {
    std::unique_ptr<HistoryStore> store;
};

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

int checkCommand(const HistoryOptions& o) {
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
    std::vector<SiteFile> site = dashboardSite({checked.runs, checked.data, checked.series, checked.findings, alerts,
                                                std::string("lumenfold ") + LUMENFOLD_VERSION},
                                               chartLibrary());
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

int showCommand(const HistoryOptions& o) {
    Checked checked;
    checkStore(o, checked, namesFolder(o.page));
    if (namesFolder(o.page)) return writeSite(o, checked);
    std::string error;
    const std::string page =
        historyPage(checked.series, checked.findings, chartLibrary(), std::string("lumenfold ") + LUMENFOLD_VERSION);
    if (!writeWholeFile(o.page, page, error)) {
        tell("no HTML page written: " + displayText(error));
        return 1;
    }
    printf("%zu series, %zu change point%s: %s\n", checked.series.size(), checked.findings.size(),
           checked.findings.size() == 1 ? "" : "s", displayText(o.page).c_str());
    return 0;
}

void addFormatOption(CLI::App* command, std::string& format) {
    command->add_option("--format", format, formatChoices())->capture_default_str()->check(CLI::IsMember(formatNames()));
}

CLI::App* addFilters(CLI::App* command, HistoryOptions& o, bool withFigure) {
    command->add_option("--machine", o.machine, "only this machine's runs");
    command->add_option("--program", o.program, "only this program's runs")
        ->check(CLI::IsMember(programNames()));
    if (withFigure) command->add_option("--figure", o.figure, "only this figure, by its key as compare names it");
    return command;
}

}  // namespace

CLI::App* addHistoryCommand(CLI::App& app, HistoryOptions& o) {
    CLI::App* history = app.add_subcommand("history", "Keep every run in a store and find when a figure changed.");
    history->require_subcommand(1);
    history->fallthrough();
    history->add_option("--db", o.db,
                        "the store: a PostgreSQL URI (postgresql://user@host/db), sqlite:PATH or a path "
                        "(default: LUMENFOLD_HISTORY, else $XDG_DATA_HOME/lumenfold/history.sqlite)");
    CLI::App* add = history->add_subcommand("add", "Store results files or directories of them, every frame and "
                                                   "the context; a run already stored is left as it is.");
    add->add_option("paths", o.paths, "results files, or directories of them")->required();
    add->add_option("--machine", o.machine, "the machine's name (default: the context's host name, else this host's)");
    CLI::App* list = addFilters(history->add_subcommand("list", "One line per stored run."), o, false);
    addFormatOption(list, o.format);
    CLI::App* exclude = history->add_subcommand("exclude", "Leave a run out of checks; it stays stored.");
    exclude->add_option("run", o.run, "the run's id, as list shows it")->required();
    exclude->add_option("--reason", o.reason, "why, shown by list")->required();
    CLI::App* include = history->add_subcommand("include", "Take an excluded run into checks again.");
    include->add_option("run", o.run, "the run's id")->required();
    CLI::App* check = addFilters(history->add_subcommand("check", "Change points of each series (machine, program, "
                                                                  "figure); exit status 3 when there is one."),
                                 o, true);
    addFormatOption(check, o.format);
    check->add_option("--notify", o.notifyUrl, "post every new alert to this URL (a chat webhook, an issue tracker)");
    check->add_option("--stale", o.staleHours, "hours without a run after which a machine raises a silent alert")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    addAlertsCommand(history, o.alerts, o.action);
    CLI::App* show = addFilters(history->add_subcommand("show", "A page of trend charts, change points marked."), o, true);
    show->add_option("--html", o.page,
                     "the self-contained HTML page to write; or, for a folder (one that exists, or a path ending in "
                     "'/'), the fleet's site: index.html, a page per series, alerts.html")
        ->required();
    for (CLI::App* sub : {add, list, exclude, include, check, show})
        sub->final_callback([&o, sub] { o.action = sub->get_name(); });
    return history;
}

int historyCommand(const HistoryOptions& o) {
    try {
        if (o.action == "add") return addCommand(o);
        if (o.action == "list") return listCommand(o);
        if (o.action == "exclude") return excludeCommand(o, true);
        if (o.action == "include") return excludeCommand(o, false);
        if (o.action == "check") return checkCommand(o);
        if (o.action == "show") return showCommand(o);
        if (o.action == "alerts") return alertsCommand(*openStore(o.db), o.alerts);
    } catch (const BadRequest& e) {
        tell(e.what());
        return 2;
    } catch (const std::exception& e) {
        tell(displayText(e.what()));
        return 1;
    }
    return 2;
}

bool addRunsToHistory(const std::vector<std::string>& resultsFiles, const std::string& db, const std::string& machine) {
    try {
        auto store = openStore(db, true);
        bool ok = true;
        for (const std::string& file : resultsFiles) {
            const AddOutcome outcome = addResultsFile(*store, file, machine);
            if (!outcome.message.empty()) tell(outcome.message);
            ok &= outcome.result != AddResult::notAdded;
            if (outcome.result != AddResult::notAdded)
                tell((outcome.result == AddResult::added ? "added to the history: " : "already in the history: ") +
                     displayText(file));
        }
        return ok;
    } catch (const std::exception& e) {
        tell("not added to the history: " + displayText(e.what()));
        return false;
    }
}

void HistoryFlag::addTo(CLI::App* command) {
    command->add_flag("--history", keep,
                      "add each finished run to the history store (LUMENFOLD_HISTORY, else the default)");
}

std::function<void(const std::string&)> HistoryFlag::adder() {
    if (!keep) return nullptr;
    return [this](const std::string& resultsPath) { failed |= !addRunsToHistory({resultsPath}, ""); };
}
