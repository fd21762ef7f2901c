// `lumenfold nightly --config FILE`: one machine's night, as a timer or a
// CI runner starts it: the configured suite into the configured history
// store, the check, alerts and their notification, the dashboard.
#pragma once

#include <string>

namespace CLI { class App; }

struct NightlyOptions {
    std::string config;
    std::string command;     // lumenfold's own command line, for the context files
    bool noWait = false;     // refuse, rather than wait, when another benchmark holds the machine
};

CLI::App* addNightlyCommand(CLI::App& app, NightlyOptions& options);
// 0 a quiet night, 3 new alerts, 1 a night that failed (itself an alert), 2 a bad configuration.
int nightlyCommand(const NightlyOptions& options);
