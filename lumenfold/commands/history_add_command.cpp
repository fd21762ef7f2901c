// `lumenfold history add`, and `--history` of run and suite.
#include <chrono>
#include <cstdio>

#include "commands/history_command.h"
#include "common/display_text.h"
#include "common/messages.h"
#include "model/input_files.h"
#include "store/history_add.h"

CLI::App* addHistoryAddCommand(CLI::App* history, HistoryOptions& o) {
    CLI::App* add = history->add_subcommand("add", "Store results files or directories of them, every frame and "
                                                   "the context; a run already stored is left as it is.");
    add->add_option("paths", o.paths, "results files, or directories of them")->required();
    add->add_option("--machine", o.machine, "the machine's name (default: the context's host name, else this host's)");
    return add;
}

int historyAddCommand(const HistoryOptions& o) {
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
