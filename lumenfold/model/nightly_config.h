// What `lumenfold nightly` does on one machine, from a small TOML file:
//
//   machine = "rig-3"                  # its name in the history (default: the host name)
//   store = "postgresql:///perf?host=/run/postgresql"   # or a SQLite path; default: the user's store
//   notify = "https://hooks.example.com/services/..."   # where new alerts are posted (optional)
//   dashboard = "/srv/lumenfold"       # the fleet's site is written here (optional)
//   stale_hours = 36                   # a machine silent this long raises an alert
//
//   [suite]
//   programs = ["triangles", "cube", "streaming"]   # default: all of them
//   frames = 20                        # or seconds = 60 (default: 5 frames)
//   repeat = 3                         # runs per program
//   dir = "/var/lib/lumenfold/runs"    # where each night's runs are kept
//
// A key the file does not know is refused with its line, so that a typo
// never leaves a setting at its default without a word.
#pragma once

#include <string>
#include <vector>

struct NightlyConfig {
    std::string machine;
    std::string store;
    std::string notifyUrl;
    std::string dashboardDir;
    double staleHours = 36;
    std::vector<std::string> programs;   // empty: every program
    int frames = 0;                      // frames or seconds, one of them
    double seconds = 0;
    int repeat = 1;
    std::string runsDir;
};

// The largest configuration file read.
constexpr long long maxNightlyConfigBytes = 1024 * 1024;

// The configuration in text, named path in messages; false with error set
// (path, line and what is wrong) when it cannot be used.
bool parseNightlyConfig(const std::string& text, const std::string& path, NightlyConfig& config, std::string& error);
bool readNightlyConfig(const std::string& path, NightlyConfig& config, std::string& error);
