// `lumenfold history list`: one line per stored run.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "commands/history_command.h"
#include "common/display_text.h"

CLI::App* addHistoryListCommand(CLI::App* history, HistoryOptions& o) {
    CLI::App* list = addHistoryFilters(history->add_subcommand("list", "One line per stored run."), o, false);
    list->add_option("--format", o.format, "text or json")->check(CLI::IsMember({"text", "json"}));
    return list;
}

int historyListCommand(const HistoryOptions& o) {
    const std::vector<StoredRun> runs = openStore(o.db)->list(o.machine, o.program);
    if (o.format == "json") {
        nlohmann::json out = nlohmann::json::array();
        for (const StoredRun& r : runs)
            out.push_back({{"id", r.id}, {"machine", displayText(r.machine)}, {"program", r.program},
                           {"started", displayText(r.started)}, {"frames", r.frames},
                           {"file", displayText(r.sourceFile)}, {"sha256", r.sha256}, {"excluded", r.excluded},
                           {"reason", r.excluded ? nlohmann::json(displayText(r.excludeReason)) : nlohmann::json()}});
        printf("%s\n", out.dump(2).c_str());
        return 0;
    }
    printf("%6s  %-16s %-10s %-25s %7s  %s\n", "id", "machine", "program", "started", "frames", "file");
    for (const StoredRun& r : runs) {
        printf("%6lld  %-16s %-10s %-25s %7d  %s%s\n", r.id, displayText(r.machine).c_str(), r.program.c_str(),
               displayText(r.started).c_str(), r.frames, displayText(r.sourceFile).c_str(),
               r.excluded ? ("  [excluded: " + displayText(r.excludeReason) + "]").c_str() : "");
    }
    printf("%zu run%s\n", runs.size(), runs.size() == 1 ? "" : "s");
    return 0;
}
