// `lumenfold history exclude` and `include`: a run left out of checks, or taken in again.
#include <cstdio>

#include "commands/history_command.h"
#include "common/display_text.h"
#include "common/messages.h"

std::vector<CLI::App*> addHistoryExcludeCommands(CLI::App* history, HistoryOptions& o) {
    CLI::App* exclude = history->add_subcommand("exclude", "Leave a run out of checks; it stays stored.");
    exclude->add_option("run", o.run, "the run's id, as list shows it")->required();
    exclude->add_option("--reason", o.reason, "why, shown by list")->required();
    CLI::App* include = history->add_subcommand("include", "Take an excluded run into checks again.");
    include->add_option("run", o.run, "the run's id")->required();
    return {exclude, include};
}

int historyExcludeCommand(const HistoryOptions& o, bool exclude) {
    if (!openStore(o.db)->setExcluded(o.run, exclude, o.reason)) {
        tell("no run " + std::to_string(o.run) + " in the history store");
        return 1;
    }
    printf("run %lld %s\n", o.run, exclude ? ("excluded: " + displayText(o.reason)).c_str() : "included again");
    return 0;
}
