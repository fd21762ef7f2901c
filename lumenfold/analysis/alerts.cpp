#include "analysis/alerts.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <tuple>

namespace {

const char* const stateNames[] = {"new", "acknowledged", "ignored", "fixed", "recovered", "closed"};

long positionOf(const RunPositions& positions, long long run) {
    const auto at = positions.find(run);
    return at == positions.end() ? -1 : at->second;
}

bool sharesFigure(const Alert& alert, const std::string& key) {
    return std::any_of(alert.figures.begin(), alert.figures.end(), [&](const AlertFigure& f) { return f.key == key; });
}

// The same change: one machine and program, first runs after within one
// position of each other.
bool sameChange(const Alert& alert, const FoundChange& change, const RunPositions& positions) {
    if (alert.kind != "change" || alert.machine != change.machine || alert.program != change.program) return false;
    if (alert.firstRunAfter == change.firstRunAfter) return true;
    const long a = positionOf(positions, alert.firstRunAfter), b = positionOf(positions, change.firstRunAfter);
    return a >= 0 && b >= 0 && std::labs(a - b) <= 1;
}

// A later change of one of the alert's figures that ends where the series
// stood before the alert. The same change seen in the alert's other
// figures belongs to that recovery too.
bool recovers(const Alert& alert, const FoundChange& change, const RunPositions& positions) {
    if (alert.kind != "change" || alert.machine != change.machine || alert.program != change.program) return false;
    const long a = positionOf(positions, alert.firstRunAfter), b = positionOf(positions, change.firstRunAfter);
    if (a < 0 || b <= a + 1) return false;
    if (alert.state == AlertState::recovered) {
        const long by = positionOf(positions, alert.recoveredBy);
        if (by < 0 || std::labs(by - b) > 1) return false;
    } else if (!alertOpen(alert.state)) {
        return false;
    }
    for (const AlertFigure& f : alert.figures)
        if (f.key == change.figure.key && std::isfinite(f.levelBefore) && f.levelBefore != 0 &&
            std::fabs(change.figure.levelAfter / f.levelBefore - 1) <= noiseFloor)
            return true;
    return false;
}

Alert alertOf(const FoundChange& change, long long now) {
    Alert alert;
    alert.machine = change.machine;
    alert.program = change.program;
    alert.figures.push_back(change.figure);
    alert.firstRunAfter = change.firstRunAfter;
    alert.firstRunAfterAt = change.firstRunAfterAt;
    alert.firstRunAfterStarted = change.firstRunAfterStarted;
    alert.explanation = change.explanation;
    alert.raisedAt = alert.changedAt = now;
    return alert;
}

// The alert among those of `alerts` at `candidates` that is this change, or null.
Alert* matching(std::vector<Alert>& alerts, const std::vector<size_t>& candidates, const FoundChange& change,
                const RunPositions& positions) {
    for (size_t i : candidates)
        if (sameChange(alerts[i], change, positions)) return &alerts[i];
    return nullptr;
}

// A change concerns only the alerts of its machine and program: each
// change looks through those, not through every alert of a fleet.
using SeriesAlerts = std::map<std::pair<std::string, std::string>, std::vector<size_t>>;

SeriesAlerts changeAlertsOf(const std::vector<Alert>& alerts) {
    SeriesAlerts index;
    for (size_t i = 0; i < alerts.size(); ++i)
        if (alerts[i].kind == "change") index[{alerts[i].machine, alerts[i].program}].push_back(i);
    return index;
}

// Whether two alerts share a figure, their keys sorted.
bool shareAKey(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    for (size_t i = 0, j = 0; i < a.size() && j < b.size();) {
        if (a[i] == b[j]) return true;
        a[i] < b[j] ? ++i : ++j;
    }
    return false;
}

}  // namespace

const char* alertStateName(AlertState state) { return stateNames[int(state)]; }

bool alertStateFromName(const std::string& name, AlertState& state) {
    for (int i = 0; i < int(std::size(stateNames)); ++i)
        if (name == stateNames[i]) {
            state = AlertState(i);
            return true;
        }
    return false;
}

bool alertOpen(AlertState state) {
    return state == AlertState::fresh || state == AlertState::acknowledged || state == AlertState::fixed;
}

AlertUpdate applyFindings(const std::vector<Alert>& known, const std::vector<FoundChange>& found,
                          const RunPositions& positions, long long now) {
    AlertUpdate update;
    std::vector<Alert> current = known;
    std::vector<bool> extended(current.size(), false);
    const SeriesAlerts currentOf = changeAlertsOf(current);
    SeriesAlerts raisedOf;
    const std::vector<size_t> none;
    for (const FoundChange& change : found) {
        const auto key = std::make_pair(change.machine, change.program);
        const auto here = currentOf.find(key);
        const std::vector<size_t>& candidates = here == currentOf.end() ? none : here->second;
        std::vector<size_t>& raisedHere = raisedOf[key];
        bool recovery = false;
        for (size_t i : candidates)
            if (recovers(current[i], change, positions)) {
                recovery = true;
                if (current[i].state == AlertState::recovered) continue;
                current[i].state = AlertState::recovered;
                current[i].recoveredBy = change.firstRunAfter;
                current[i].changedAt = now;
                current[i].by = "lumenfold";
                update.recovered.push_back(current[i]);
            }
        if (recovery) continue;
        if (Alert* alert = matching(current, candidates, change, positions)) {
            if (!sharesFigure(*alert, change.figure.key)) {
                alert->figures.push_back(change.figure);
                extended[size_t(alert - current.data())] = true;
            }
            continue;
        }
        if (Alert* fresh = matching(update.raised, raisedHere, change, positions)) {
            if (!sharesFigure(*fresh, change.figure.key)) fresh->figures.push_back(change.figure);
            continue;
        }
        raisedHere.push_back(update.raised.size());
        update.raised.push_back(alertOf(change, now));
    }
    for (size_t i = 0; i < current.size(); ++i)
        if (extended[i]) update.extended.push_back(current[i]);
    return update;
}

std::vector<long long> alertGroups(const std::vector<Alert>& alerts) {
    std::vector<size_t> parent(alerts.size());
    std::iota(parent.begin(), parent.end(), size_t(0));
    auto root = [&](size_t i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    };
    // Only alerts of one program within a day of each other can join: by
    // program and time, each alert looks at the next day's alerts alone.
    std::vector<size_t> order;
    std::vector<std::vector<std::string>> keys(alerts.size());
    for (size_t i = 0; i < alerts.size(); ++i) {
        if (alerts[i].kind != "change") continue;
        order.push_back(i);
        for (const AlertFigure& f : alerts[i].figures) keys[i].push_back(f.key);
        std::sort(keys[i].begin(), keys[i].end());
    }
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::tie(alerts[a].program, alerts[a].firstRunAfterAt, a) <
               std::tie(alerts[b].program, alerts[b].firstRunAfterAt, b);
    });
    for (size_t x = 0; x < order.size(); ++x)
        for (size_t y = x + 1; y < order.size(); ++y) {
            const Alert &a = alerts[order[x]], &b = alerts[order[y]];
            if (a.program != b.program || b.firstRunAfterAt - a.firstRunAfterAt > 86400) break;
            if (a.machine == b.machine || root(order[x]) == root(order[y])) continue;
            if (shareAKey(keys[order[x]], keys[order[y]])) parent[root(order[x])] = root(order[y]);
        }
    std::map<size_t, long long> smallest;
    for (size_t i = 0; i < alerts.size(); ++i) {
        auto [at, fresh] = smallest.emplace(root(i), alerts[i].id);
        if (!fresh) at->second = std::min(at->second, alerts[i].id);
    }
    std::vector<long long> groups;
    for (size_t i = 0; i < alerts.size(); ++i) groups.push_back(smallest[root(i)]);
    return groups;
}

std::vector<std::string> silentMachines(const std::map<std::string, long long>& latestRun, long long now,
                                        double staleSeconds) {
    std::vector<std::string> silent;
    for (const auto& [machine, latest] : latestRun)
        if (double(now - latest) > staleSeconds) silent.push_back(machine);
    return silent;
}
