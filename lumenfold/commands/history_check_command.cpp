// `lumenfold history check` and `show`: the change points of every series,
// as a report or a page of trend charts.
#include <cstdio>

#include "commands/history_command.h"
#include "common/display_text.h"
#include "common/messages.h"
#include "output/history_page.h"
#include "store/history_check.h"

namespace {

struct Checked {
    std::vector<StoredRun> runs;
    std::vector<FigureSeries> series;
    std::vector<Finding> findings;
};

void checkStore(const HistoryOptions& o, Checked& checked) {
    auto store = openStore(o.db);
    checked.runs = store->list(o.machine, o.program, true);
    const std::vector<ResultsRun> data = store->runsData(checked.runs);
    checked.series = buildSeries(checked.runs, data, o.figure);
    if (checked.runs.size() > 200) tell("looking for change points in " + std::to_string(checked.series.size()) +
                                        " series of " + std::to_string(checked.runs.size()) + " runs...");
    checked.findings = checkSeries(checked.series);
}

}  // namespace

std::vector<CLI::App*> addHistoryCheckCommands(CLI::App* history, HistoryOptions& o) {
    CLI::App* check = addHistoryFilters(history->add_subcommand("check", "Change points of each series (machine, "
                                                                         "program, figure); exit status 3 when "
                                                                         "there is one."),
                                        o, true);
    check->add_option("--format", o.format, "text, json or markdown")
        ->check(CLI::IsMember({"text", "json", "markdown"}));
    CLI::App* show = addHistoryFilters(history->add_subcommand("show", "A page of trend charts, change points marked."),
                                       o, true);
    show->add_option("--html", o.page, "the self-contained HTML page to write")->required();
    return {check, show};
}

int historyCheckCommand(const HistoryOptions& o) {
    Checked checked;
    checkStore(o, checked);
    if (checked.series.empty()) tell("no series to check: the store holds no matching run that is not excluded");
    std::string out;
    if (o.format == "json")
        out = findingsJson(checked.findings).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    else if (o.format == "markdown")
        out = findingsMarkdown(checked.findings, checked.series.size());
    else
        out = findingsText(checked.findings, checked.series.size());
    fputs(out.c_str(), stdout);
    fflush(stdout);
    return checked.findings.empty() ? 0 : 3;
}

int historyShowCommand(const HistoryOptions& o) {
    Checked checked;
    checkStore(o, checked);
    std::string error;
    if (!writeHistoryPage(o.page, checked.series, checked.findings, error)) {
        tell("no HTML page written: " + displayText(error));
        return 1;
    }
    printf("%zu series, %zu change point%s: %s\n", checked.series.size(), checked.findings.size(),
           checked.findings.size() == 1 ? "" : "s", displayText(o.page).c_str());
    return 0;
}
