// `lumenfold history ...`: the store of runs and its change points. The
// group and its shared options are here; each subcommand is in a file of its
// own (history_add_command.cpp and so on).
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "commands/alerts_command.h"
#include "store/history_store.h"

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
// Runs the subcommand chosen: its exit status, 1 when the store fails.
int historyCommand(const HistoryOptions& options);

// A request that cannot be answered as asked (a --db, figure, machine or
// program the store does not know): exit status 2, never read as "no change".
struct BadRequest : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The store --db names (or the default); throws with the reason when it
// cannot be opened. Only adding makes a SQLite store: a mistyped --db must
// not answer a check or a list from a store made empty on the spot.
std::unique_ptr<HistoryStore> openStore(const std::string& db, bool create = false);
// --machine, --program and (withFigure) --figure of list, check and show.
CLI::App* addHistoryFilters(CLI::App* command, HistoryOptions& options, bool withFigure);

// Each subcommand: its options, and its work on an open store.
CLI::App* addHistoryAddCommand(CLI::App* history, HistoryOptions& options);
int historyAddCommand(const HistoryOptions& options);
CLI::App* addHistoryListCommand(CLI::App* history, HistoryOptions& options);
int historyListCommand(const HistoryOptions& options);
// exclude and include.
std::vector<CLI::App*> addHistoryExcludeCommands(CLI::App* history, HistoryOptions& options);
int historyExcludeCommand(const HistoryOptions& options, bool exclude);
// check and show (and alerts between them, of alerts_command).
std::vector<CLI::App*> addHistoryCheckCommands(CLI::App* history, HistoryOptions& options);
int historyCheckCommand(const HistoryOptions& options);
int historyShowCommand(const HistoryOptions& options);

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
