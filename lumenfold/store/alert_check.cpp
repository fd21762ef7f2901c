#include "store/alert_check.h"

#include <map>

namespace {

RunPositions positionsOf(const std::vector<StoredRun>& runs) {
    RunPositions positions;
    std::map<std::pair<std::string, std::string>, long> next;
    for (const StoredRun& run : runs) positions[run.id] = next[{run.machine, run.program}]++;
    return positions;
}

std::vector<FoundChange> changesOf(const std::vector<Finding>& findings) {
    std::vector<FoundChange> found;
    for (const Finding& f : findings) {
        const StoredRun& after = *f.series->runs[f.point.index];
        FoundChange c;
        c.machine = f.series->machine;
        c.program = f.series->program;
        c.figure = AlertFigure{f.series->figure, f.point.ratio, verdictName(f.point.verdict), f.point.medianBefore,
                               f.point.medianAfter};
        c.firstRunAfter = after.id;
        c.firstRunAfterAt = after.startedAt;
        c.firstRunAfterStarted = after.started;
        c.explanation = changesText(f.changed);
        found.push_back(std::move(c));
    }
    return found;
}

void silentAlerts(const std::vector<Alert>& known, const std::vector<StoredRun>& runs, double staleHours,
                  long long now, std::vector<Alert>& raised, std::vector<Alert>& closed) {
    std::map<std::string, long long> latest;
    for (const StoredRun& run : runs) latest[run.machine] = std::max(latest[run.machine], run.startedAt);
    std::map<std::string, const Alert*> openSilent;
    for (const Alert& alert : known)
        if (alert.kind == "silent" && alertOpen(alert.state)) openSilent[alert.machine] = &alert;
    for (const auto& [machine, alert] : openSilent)
        if (latest.count(machine) && latest[machine] > alert->firstRunAfterAt) {
            Alert done = *alert;
            done.state = AlertState::closed;
            done.by = "lumenfold";
            done.changedAt = now;
            closed.push_back(done);
        }
    for (const std::string& machine : silentMachines(latest, now, staleHours * 3600)) {
        if (openSilent.count(machine)) continue;
        Alert alert;
        alert.kind = "silent";
        alert.machine = machine;
        // The latest run it had, so that the next one closes the alert.
        alert.firstRunAfterAt = latest[machine];
        alert.explanation = "no run for " + std::to_string((now - latest[machine]) / 3600) + " h";
        alert.raisedAt = alert.changedAt = now;
        raised.push_back(alert);
    }
}

}  // namespace

std::string changesText(const ContextChanges& changed) {
    std::string text;
    for (const auto& [key, values] : changed)
        text += (text.empty() ? "" : "; ") + key + ": " + values.first + " → " + values.second;
    return text;
}

AlertOutcome recordCheck(HistoryStore& store, const std::vector<StoredRun>& runs,
                         const std::vector<Finding>& findings, double staleHours, long long now) {
    const std::vector<FoundChange> found = changesOf(findings);
    const RunPositions positions = positionsOf(runs);
    HistoryStore::AlertChanges changes;
    store.changeAlerts(
        [&](const std::vector<Alert>& known, HistoryStore::AlertChanges& c) {
            c.update = applyFindings(known, found, positions, now);
            silentAlerts(known, runs, staleHours, now, c.othersRaised, c.othersClosed);
        },
        changes);
    AlertOutcome out;
    out.all = store.alerts();
    out.raised = changes.update.raised;
    out.raised.insert(out.raised.end(), changes.othersRaised.begin(), changes.othersRaised.end());
    out.recovered = changes.update.recovered;
    out.closed = changes.othersClosed;
    return out;
}

Alert raiseAlert(HistoryStore& store, Alert alert) {
    HistoryStore::AlertChanges changes;
    changes.othersRaised.push_back(std::move(alert));
    store.changeAlerts([](const std::vector<Alert>&, HistoryStore::AlertChanges&) {}, changes);
    return changes.othersRaised.front();
}
