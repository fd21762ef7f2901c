// `lumenfold history ...`: the store of runs and its change points.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "commands/alerts_command.h"

namespace CLI { class App; }

struct HistoryOptions {
    std::string db;                  // --db; else LUMENFOLD_HISTORY; else the default SQLite file
    std::vector<std::string> paths;  // add
    std::string machine;             // add: the name to file runs under; list, check, show: a filter
    std::string program;
    std::string figure;
    std::string format = "text";     // list, check: a name of output/formats
    long long run = 0;               // exclude, include
    std::string reason;
    std::string page;                // show --html
    std::string notifyUrl;           // check --notify: where new alerts are posted
    double staleHours = 36;          // check --stale: a machine silent this long raises an alert
    AlertsOptions alerts;            // alerts and its subcommands
    // Told what a check did to the alerts (nightly counts the new ones).
    std::function<void(const AlertOutcome&)> onAlerts;
    std::string action;              // the subcommand chosen
};

// Adds `history` and its subcommands to the application.
CLI::App* addHistoryCommand(CLI::App& app, HistoryOptions& options);
int historyCommand(const HistoryOptions& options);

// Adds finished runs' results files to the store (`run --history`); false
// when one could not be added, which the messages explain.
bool addRunsToHistory(const std::vector<std::string>& resultsFiles, const std::string& db,
                      const std::string& machine = "");

// `--history` of run and suite: each run that went as planned goes to the
// store (LUMENFOLD_HISTORY, else the default) as it ends; a run that could
// not be added makes the command fail once it is done.
struct HistoryFlag {
    bool keep = false;
    bool failed = false;
    void addTo(CLI::App* command);
    // Empty unless --history was given.
    std::function<void(const std::string& resultsPath)> adder();
    int status(int commandStatus) const { return commandStatus == 0 && failed ? 1 : commandStatus; }
};
