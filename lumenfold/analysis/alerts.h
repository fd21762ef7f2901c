// Alerts: what a fleet's morning works through. A confirmed change point
// becomes an alert once; the next check that finds it again finds the same
// alert, so acknowledging, ignoring or fixing it sticks. Pure: the store
// keeps alerts, these rules decide what a check's findings do to them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "analysis/statistics.h"

enum class AlertState { fresh, acknowledged, ignored, fixed, recovered, closed };

// "new", "acknowledged", "ignored", "fixed", "recovered", "closed".
const char* alertStateName(AlertState state);
bool alertStateFromName(const std::string& name, AlertState& state);
// Open: still asks for someone's attention or may yet recover.
bool alertOpen(AlertState state);

// One figure's change within an alert.
struct AlertFigure {
    std::string key;
    Interval ratio;               // after / before
    std::string verdict;
    double levelBefore = NAN;     // median of run medians of the segment before
    double levelAfter = NAN;
};

struct Alert {
    long long id = 0;
    std::string kind = "change";  // "change", or "silent": a machine that stopped reporting
    std::string machine;
    std::string program;          // empty for a silent machine
    std::vector<AlertFigure> figures;
    long long firstRunAfter = 0;  // run id; 0 for a silent machine
    long long firstRunAfterAt = 0;   // its start, seconds since the epoch
    std::string firstRunAfterStarted;
    std::string explanation;      // what changed in the context, for people
    AlertState state = AlertState::fresh;
    std::string note;
    std::string by;               // who last set the state
    long long raisedAt = 0;
    long long changedAt = 0;
    long long sentAt = 0;         // 0 until a notification of it was delivered
    long long recoveredBy = 0;    // the run that brought the level back
};

// A change point of one figure, as a check found it.
struct FoundChange {
    std::string machine;
    std::string program;
    AlertFigure figure;
    long long firstRunAfter = 0;
    long long firstRunAfterAt = 0;
    std::string firstRunAfterStarted;
    std::string explanation;
};

// Where each run stands in its machine's runs of its program, in start-time
// order: "within one run" is measured in these positions.
using RunPositions = std::map<long long, long>;

// What a check's findings do to the stored alerts.
struct AlertUpdate {
    std::vector<Alert> raised;                  // new alerts, ids 0
    std::vector<Alert> extended;                // known alerts that gained a figure
    std::vector<Alert> recovered;               // known alerts the series came back from
};

// Groups the findings into alerts (one per machine, program and first run
// after, listing its figures), matches them with the known alerts (same
// machine and program, a shared figure or the same run, first runs after
// at most one position apart), and marks an open alert recovered when a
// later change of one of its figures ends within the noise floor of the
// level before it. A change that recovers an alert raises none.
AlertUpdate applyFindings(const std::vector<Alert>& known, const std::vector<FoundChange>& found,
                          const RunPositions& positions, long long now);

// Alerts on different machines for the same program and a shared figure
// whose first runs after lie within a day of each other are one group (a
// driver update rolled out over a fleet). Per alert, its group: the
// smallest id in it.
std::vector<long long> alertGroups(const std::vector<Alert>& alerts);

// Machines whose latest run is older than staleSeconds, given each
// machine's latest run start; in name order.
std::vector<std::string> silentMachines(const std::map<std::string, long long>& latestRun, long long now,
                                        double staleSeconds);
