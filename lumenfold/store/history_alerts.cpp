// The alerts table: what `history check` raised and what people said of it.
#include <soci/soci.h>

#include <cmath>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "store/history_store.h"

using nlohmann::json;

namespace {

const char* const alertsTable[] = {
    "CREATE TABLE alerts (id @ID@, kind TEXT NOT NULL, machine TEXT NOT NULL, program TEXT NOT NULL, "
    "figures TEXT NOT NULL, first_run_after BIGINT NOT NULL, first_run_after_at BIGINT NOT NULL, "
    "first_run_after_started TEXT NOT NULL, explanation TEXT NOT NULL, state TEXT NOT NULL, note TEXT NOT NULL, "
    "said_by TEXT NOT NULL, raised_at BIGINT NOT NULL, changed_at BIGINT NOT NULL, sent_at BIGINT NOT NULL, "
    "recovered_by BIGINT NOT NULL)",
    "CREATE INDEX alerts_series ON alerts (machine, program)",
};

json numberOrNull(double value) { return std::isfinite(value) ? json(value) : json(nullptr); }
double numberOrNaN(const json& value) { return value.is_number() ? value.get<double>() : NAN; }

std::string figuresText(const std::vector<AlertFigure>& figures) {
    json out = json::array();
    for (const AlertFigure& f : figures)
        out.push_back({{"key", f.key}, {"ratio", numberOrNull(f.ratio.estimate)}, {"ciLow", numberOrNull(f.ratio.low)},
                       {"ciHigh", numberOrNull(f.ratio.high)}, {"verdict", f.verdict},
                       {"before", numberOrNull(f.levelBefore)}, {"after", numberOrNull(f.levelAfter)}});
    return out.dump();
}

std::vector<AlertFigure> figuresOf(const std::string& text) {
    std::vector<AlertFigure> figures;
    const json parsed = json::parse(text, nullptr, false);
    if (!parsed.is_array()) throw std::runtime_error("an alert in the history store is damaged: its figures are unreadable");
    for (const json& f : parsed)
        figures.push_back(AlertFigure{f.value("key", ""),
                                      Interval{numberOrNaN(f.value("ratio", json())), numberOrNaN(f.value("ciLow", json())),
                                               numberOrNaN(f.value("ciHigh", json()))},
                                      f.value("verdict", ""), numberOrNaN(f.value("before", json())),
                                      numberOrNaN(f.value("after", json()))});
    return figures;
}

}  // namespace

void HistoryStore::createAlerts() {
    for (const char* statement : alertsTable) {
        std::string text = statement;
        const size_t id = text.find("@ID@");
        if (id != std::string::npos)
            text.replace(id, 4, location_.postgres ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY");
        *sql_ << text;
    }
}

std::vector<Alert> HistoryStore::alerts() {
    std::vector<Alert> out;
    Alert a;
    std::string figures, state;
    soci::statement select =
        (sql_->prepare << "SELECT id, kind, machine, program, figures, first_run_after, first_run_after_at, "
                          "first_run_after_started, explanation, state, note, said_by, raised_at, changed_at, sent_at, "
                          "recovered_by FROM alerts ORDER BY id",
         soci::into(a.id), soci::into(a.kind), soci::into(a.machine), soci::into(a.program), soci::into(figures),
         soci::into(a.firstRunAfter), soci::into(a.firstRunAfterAt), soci::into(a.firstRunAfterStarted),
         soci::into(a.explanation), soci::into(state), soci::into(a.note), soci::into(a.by), soci::into(a.raisedAt),
         soci::into(a.changedAt), soci::into(a.sentAt), soci::into(a.recoveredBy));
    select.execute();
    while (select.fetch()) {
        Alert alert = a;
        alert.figures = figuresOf(figures);
        if (!alertStateFromName(state, alert.state))
            throw std::runtime_error("alert " + std::to_string(a.id) + " in the history store is damaged: state \"" +
                                     state + "\"");
        out.push_back(std::move(alert));
    }
    return out;
}

void HistoryStore::insertAlert(Alert& a) {
    const std::string figures = figuresText(a.figures), state = alertStateName(a.state);
    soci::session& sql = *sql_;
    const std::string columns =
        "(kind, machine, program, figures, first_run_after, first_run_after_at, first_run_after_started, "
        "explanation, state, note, said_by, raised_at, changed_at, sent_at, recovered_by) VALUES (:kind, :machine, "
        ":program, :figures, :run, :at, :started, :explanation, :state, :note, :by, :raised, :changed, :sent, "
        ":recovered)";
    if (location_.postgres) {
        sql << "INSERT INTO alerts " + columns + " RETURNING id", soci::use(a.kind), soci::use(a.machine),
            soci::use(a.program), soci::use(figures), soci::use(a.firstRunAfter), soci::use(a.firstRunAfterAt),
            soci::use(a.firstRunAfterStarted), soci::use(a.explanation), soci::use(state), soci::use(a.note),
            soci::use(a.by), soci::use(a.raisedAt), soci::use(a.changedAt), soci::use(a.sentAt),
            soci::use(a.recoveredBy), soci::into(a.id);
        return;
    }
    sql << "INSERT INTO alerts " + columns, soci::use(a.kind), soci::use(a.machine), soci::use(a.program),
        soci::use(figures), soci::use(a.firstRunAfter), soci::use(a.firstRunAfterAt), soci::use(a.firstRunAfterStarted),
        soci::use(a.explanation), soci::use(state), soci::use(a.note), soci::use(a.by), soci::use(a.raisedAt),
        soci::use(a.changedAt), soci::use(a.sentAt), soci::use(a.recoveredBy);
    sql << "SELECT last_insert_rowid()", soci::into(a.id);
}

void HistoryStore::updateAlert(const Alert& a) {
    const std::string figures = figuresText(a.figures), state = alertStateName(a.state);
    *sql_ << "UPDATE alerts SET figures = :figures, state = :state, note = :note, said_by = :by, "
             "changed_at = :changed, recovered_by = :recovered WHERE id = :id",
        soci::use(figures), soci::use(state), soci::use(a.note), soci::use(a.by), soci::use(a.changedAt),
        soci::use(a.recoveredBy), soci::use(a.id);
}

void HistoryStore::changeAlerts(
    const std::function<void(const std::vector<Alert>& known, AlertChanges& changes)>& decide, AlertChanges& changes) {
    soci::session& sql = *sql_;
    begin();
    try {
        // SQLite's write lock is taken at BEGIN IMMEDIATE; PostgreSQL's
        // checks queue on a lock of their own.
        if (location_.postgres) sql << "SELECT pg_advisory_xact_lock(7718002)";
        decide(alerts(), changes);
        for (Alert& alert : changes.update.raised) insertAlert(alert);
        for (const Alert& alert : changes.update.extended) updateAlert(alert);
        for (const Alert& alert : changes.update.recovered) updateAlert(alert);
        for (Alert& alert : changes.othersRaised) insertAlert(alert);
        for (const Alert& alert : changes.othersClosed) updateAlert(alert);
        sql << "COMMIT";
    } catch (...) {
        sql << "ROLLBACK";
        throw;
    }
}

bool HistoryStore::setAlertState(long long id, AlertState state, const std::string& note, const std::string& by,
                                 long long now) {
    const std::string name = alertStateName(state);
    soci::statement update = (sql_->prepare << "UPDATE alerts SET state = :state, note = :note, said_by = :by, "
                                               "changed_at = :now WHERE id = :id",
                              soci::use(name), soci::use(note), soci::use(by), soci::use(now), soci::use(id));
    update.execute(true);
    return update.get_affected_rows() > 0;
}

void HistoryStore::markAlertsSent(const std::vector<long long>& ids, long long now) {
    soci::session& sql = *sql_;
    begin();
    try {
        for (long long id : ids) sql << "UPDATE alerts SET sent_at = :now WHERE id = :id", soci::use(now), soci::use(id);
        sql << "COMMIT";
    } catch (...) {
        sql << "ROLLBACK";
        throw;
    }
}
