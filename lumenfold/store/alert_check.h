// From a check's findings to the alerts kept in the store: which are new,
// which were known, which recovered, which machines fell silent.
#pragma once

#include <vector>

#include "analysis/alerts.h"
#include "store/history_check.h"
#include "store/history_store.h"

struct AlertOutcome {
    std::vector<Alert> raised;      // new this check, change and silent alike, with their ids
    std::vector<Alert> recovered;
    std::vector<Alert> closed;      // silent machines that reported again
    std::vector<Alert> all;         // every alert after the check, oldest first
};

// Records in the store what the findings of a check over `runs` (as listed,
// in start-time order) mean for its alerts; a machine among the runs with
// none newer than staleHours raises a silent alert, closed by its next run.
AlertOutcome recordCheck(HistoryStore& store, const std::vector<StoredRun>& runs,
                         const std::vector<Finding>& findings, double staleHours, long long now);

// Stores one alert raised outside a check (a night that failed); with its id.
Alert raiseAlert(HistoryStore& store, Alert alert);

// "renderer: llvmpipe (LLVM 15) → llvmpipe (LLVM 16)", one change a clause.
std::string changesText(const ContextChanges& changed);
