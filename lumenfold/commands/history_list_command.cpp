// `lumenfold history list`: one line per stored run.
#include <cstdio>

#include "commands/command_options.h"
#include "commands/history_command.h"
#include "output/formats.h"

CLI::App* addHistoryListCommand(CLI::App* history, HistoryOptions& o) {
    CLI::App* list = addHistoryFilters(history->add_subcommand("list", "One line per stored run."), o, false);
    addFormat(list, o.format);
    return list;
}

int historyListCommand(const HistoryOptions& o) {
    const std::vector<StoredRun> runs = openStore(o.db)->list(o.machine, o.program);
    fputs(outputFormat(o.format).runList(runs).c_str(), stdout);
    fflush(stdout);
    return 0;
}
