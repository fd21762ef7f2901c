#include "commands/nightly_command.h"

#include <CLI/CLI.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "commands/history_command.h"
#include "commands/series_command.h"
#include "common/display_text.h"
#include "common/messages.h"
#include "common/time_text.h"
#include "model/nightly_config.h"
#include "programs/programs.h"

namespace {

std::string nightStamp() { return localDashedStamp(); }

std::string hostName() {
    char name[256] = "";
    gethostname(name, sizeof name - 1);
    return name;
}

// The suite, each finished run added to the store under the machine's name.
int runSuite(const NightlyConfig& config, const NightlyOptions& options, const std::string& directory,
             bool& addFailed) {
    SuiteOptions suite;
    suite.repeat = config.repeat;
    suite.directory = directory;
    suite.limits.frames = config.frames;
    suite.limits.seconds = config.seconds;
    suite.command = options.command;
    suite.noWait = options.noWait;
    suite.programs = config.programs;
    suite.finished = [&](const std::string& resultsPath) {
        addFailed |= !addRunsToHistory({resultsPath}, config.store, config.machine);
    };
    return suiteCommand(suite);
}

// A night that failed is an alert of its own, so it is told like any other.
void raiseFailedNight(const NightlyConfig& config, const std::string& why) {
    try {
        StoreLocation location;
        std::string error;
        if (!storeLocation(config.store, location, error)) throw std::runtime_error(error);
        HistoryStore store(location);
        Alert alert;
        alert.kind = "failed";
        alert.machine = config.machine.empty() ? hostName() : config.machine;
        alert.explanation = why;
        alert.raisedAt = alert.changedAt = time(nullptr);
        alert.firstRunAfterAt = alert.raisedAt;
        const Alert raised = raiseAlert(store, alert);
        tell("new alert " + std::to_string(raised.id) + ": " + displayText(alert.machine) + ": " + displayText(why));
    } catch (const std::exception& e) {
        tell("the failed night could not be recorded as an alert: " + displayText(e.what()));
    }
}

// The check over the whole store, with notifications; the number of alerts
// it raised, or -1 when it could not be made.
int checkStore(const NightlyConfig& config) {
    HistoryOptions check;
    check.db = config.store;
    check.action = "check";
    check.notifyUrl = config.notifyUrl;
    check.staleHours = config.staleHours;
    int raised = 0;
    check.onAlerts = [&](const AlertOutcome& outcome) { raised = int(outcome.raised.size()); };
    const int status = historyCommand(check);
    return status == 0 || status == 3 ? raised : -1;
}

bool writeDashboard(const NightlyConfig& config) {
    std::error_code error;
    std::filesystem::create_directories(config.dashboardDir, error);
    if (error) {
        tell("no dashboard written: cannot create " + displayText(config.dashboardDir) + ": " + error.message());
        return false;
    }
    HistoryOptions show;
    show.db = config.store;
    show.action = "show";
    // The fleet's site: the trailing '/' names the folder.
    show.page = (std::filesystem::path(config.dashboardDir) / "").string();
    return historyCommand(show) == 0;
}

}  // namespace

CLI::App* addNightlyCommand(CLI::App& app, NightlyOptions& options) {
    CLI::App* nightly = app.add_subcommand(
        "nightly", "One machine's night: the configured suite into the history store, the check, alerts and their "
                   "notification, the dashboard. Exit status 0 quiet, 3 with new alerts, 1 when the night failed.");
    nightly->add_option("--config", options.config, "the night's TOML file (see docs/fleet/nightly.toml)")->required();
    return nightly;
}

int nightlyCommand(const NightlyOptions& options) {
    NightlyConfig config;
    std::string error;
    if (!readNightlyConfig(options.config, config, error)) {
        tell(displayText(error));
        return 2;
    }
    for (const std::string& name : config.programs) {
        if (findProgram(name) == nullptr) {
            tell(displayText(options.config) + ": unknown program \"" + displayText(name) +
                 "\" in [suite] programs: expected " + programList());
            return 2;
        }
    }
    const std::string directory =
        (std::filesystem::path(config.runsDir.empty() ? "." : config.runsDir) / ("night-" + nightStamp())).string();
    bool addFailed = false;
    const int suite = runSuite(config, options, directory, addFailed);
    bool failed = suite != 0 || addFailed;
    if (failed)
        raiseFailedNight(config, suite != 0 ? "the night's suite failed (exit status " + std::to_string(suite) +
                                                  "); its runs are in " + directory
                                            : "a run of the night could not be added to the history store");
    const int raised = checkStore(config);
    failed |= raised < 0;
    if (!config.dashboardDir.empty()) failed |= !writeDashboard(config);
    if (failed) return 1;
    return raised > 0 ? 3 : 0;
}
