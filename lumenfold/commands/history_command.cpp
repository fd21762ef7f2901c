#include "commands/history_command.h"

#include <filesystem>

#include "commands/command_options.h"
#include "common/display_text.h"
#include "common/messages.h"
#include "programs/programs.h"

std::unique_ptr<HistoryStore> openStore(const std::string& db, bool create) {
    StoreLocation location;
    std::string error;
    if (!storeLocation(db, location, error)) throw BadRequest(error);
    std::error_code missing;
    if (!create && !location.postgres && !std::filesystem::exists(location.target, missing))
        throw std::runtime_error("no history store at " + location.shown +
                                 "; `lumenfold history add` or `lumenfold run --history` makes one");
    return std::make_unique<HistoryStore>(location);
}

CLI::App* addHistoryFilters(CLI::App* command, HistoryOptions& o, bool withFigure) {
    command->add_option("--machine", o.machine, "only this machine's runs");
    command->add_option("--program", o.program, "only this program's runs")->check(CLI::IsMember(programNames()));
    if (withFigure) command->add_option("--figure", o.figure, "only this figure, by its key as compare names it");
    return command;
}

CLI::App* addHistoryCommand(CLI::App& app, HistoryOptions& o) {
    CLI::App* history = app.add_subcommand("history", "Keep every run in a store and find when a figure changed.");
    history->require_subcommand(1);
    history->fallthrough();
    history->add_option("--db", o.db,
                        "the store: a PostgreSQL URI (postgresql://user@host/db), sqlite:PATH or a path "
                        "(default: LUMENFOLD_HISTORY, else $XDG_DATA_HOME/lumenfold/history.sqlite)");
    std::vector<CLI::App*> subcommands = {addHistoryAddCommand(history, o), addHistoryListCommand(history, o)};
    for (CLI::App* sub : addHistoryExcludeCommands(history, o)) subcommands.push_back(sub);
    for (CLI::App* sub : addHistoryCheckCommands(history, o)) subcommands.push_back(sub);
    for (CLI::App* sub : subcommands) sub->final_callback([&o, sub] { o.action = sub->get_name(); });
    return history;
}

int historyCommand(const HistoryOptions& o) {
    try {
        if (o.action == "add") return historyAddCommand(o);
        if (o.action == "list") return historyListCommand(o);
        if (o.action == "exclude") return historyExcludeCommand(o, true);
        if (o.action == "include") return historyExcludeCommand(o, false);
        if (o.action == "check") return historyCheckCommand(o);
        if (o.action == "show") return historyShowCommand(o);
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

void HistoryFlag::addTo(CLI::App* command) {
    command->add_flag("--history", keep,
                      "add each finished run to the history store (LUMENFOLD_HISTORY, else the default)");
}

std::function<void(const std::string&)> HistoryFlag::adder() {
    if (!keep) return nullptr;
    return [this](const std::string& resultsPath) { failed |= !addRunsToHistory({resultsPath}, ""); };
}
