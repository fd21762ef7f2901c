// `history alerts`: what checks raised, and what people said of it; and
// the notification of new alerts that `history check --notify` sends.
#pragma once

#include <string>

#include "store/alert_check.h"

namespace CLI { class App; }

struct AlertsOptions {
    std::string state;        // list: only alerts in this state
    std::string format = "text";
    std::string action;       // "", "acknowledge", "ignore", "fix"
    long long id = 0;
    std::string note;
    std::string by;           // default: the user's name
};

// Adds `alerts` under `history`; `db` and `chosen` are history's.
CLI::App* addAlertsCommand(CLI::App* history, AlertsOptions& options, std::string& chosen);
int alertsCommand(HistoryStore& store, const AlertsOptions& options);

// Posts every alert not yet delivered (new ones and those a failed post
// left) in one document to url; marks them sent only on a 2xx answer. A
// failure is named on stderr and the alerts wait for the next check.
// False when the post failed.
bool notifyAlerts(HistoryStore& store, const std::string& url);

// What a check raised, on stderr, one line each: stdout keeps the findings'
// own format for scripts.
void tellAlerts(const AlertOutcome& outcome);
