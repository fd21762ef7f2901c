// The store of runs: every frame of every run added, with the whole context,
// in SQLite (one machine) or PostgreSQL (a fleet), one schema for both.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/alerts.h"
#include "model/results_file.h"

namespace soci { class session; }
struct FrameColumns;

// Where the store is. A libpq URI (postgresql://, postgres://) or key=value
// connection string chooses PostgreSQL; "sqlite:PATH" or a plain path, SQLite.
struct StoreLocation {
    bool postgres = false;
    std::string target;    // the path, or the connection string as given
    std::string shown;     // for messages: the path, or host and database only, never a password
};

// --db when given, else LUMENFOLD_HISTORY, else the default SQLite file in
// $XDG_DATA_HOME/lumenfold (~/.local/share/lumenfold); false with error set
// when no location can be had.
bool storeLocation(const std::string& dbOption, StoreLocation& location, std::string& error);
// "host H, database D" of a PostgreSQL connection string: what messages show.
std::string describeConnection(const std::string& connection);

// The schema this lumenfold writes. A store with a higher version is refused.
constexpr int historySchemaVersion = 4;

// A run about to be added.
struct NewRun {
    std::string sha256;          // of the results file's bytes: the run's identity
    std::string machine;
    std::string started;         // ISO 8601, as recorded
    long long startedAt = 0;     // seconds since the epoch, for ordering
    std::string sourceFile;      // the results file's name as given
    std::optional<std::string> context;   // the context file's whole text
    std::optional<std::string> machineSamples;   // the samples file's whole text, when the run has one
    std::optional<std::string> frameTiming;      // the timing file's whole text, when the run was timed
    const ResultsRun* run = nullptr;
    // Stored but left out of every check from the start, with the reason
    // (a validation run: its frames were read back, so no time is a measurement).
    std::optional<std::string> excludedBecause;
};

// A run as listed, without its frames.
struct StoredRun {
    long long id = 0;
    std::string sha256;
    std::string machine;
    std::string program;
    std::string started;
    long long startedAt = 0;
    std::string sourceFile;
    int frames = 0;
    bool excluded = false;
    std::string excludeReason;
    std::optional<double> setupSeconds;
    std::optional<std::string> context;
    std::optional<std::string> machineSamples;   // listed with the context
    std::optional<std::string> frameTiming;      // listed with the context
};

class HistoryStore {
public:
    // Opens (creating when missing) and brings the schema up to date in one
    // transaction; refuses, changing nothing, a store of a newer schema.
    // Throws std::runtime_error with a message that names no password.
    explicit HistoryStore(const StoreLocation& location);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Stores the run with every frame in one transaction; false when a run
    // with the same SHA-256 is already there (nothing is stored then).
    bool add(const NewRun& run);

    // Runs in start-time order; empty filters match everything.
    std::vector<StoredRun> list(const std::string& machine, const std::string& program, bool withContext = false);
    // False when there is no such run.
    bool setExcluded(long long id, bool excluded, const std::string& reason);
    // The frames, kernel blocks, set-up time and summary of runs, by id, as
    // the reader had them (problems and paths aside).
    std::vector<ResultsRun> runsData(std::span<const StoredRun> runs);

    int schemaVersion() const { return version_; }

    // Alerts (store/history_alerts.cpp), oldest first; each change is one
    // transaction, so two checks at once cannot raise one alert twice.
    std::vector<Alert> alerts();
    // What a check does to the alerts, in one transaction that also reads
    // them, so two checks at once never raise one alert twice: decide gets
    // the known alerts and fills the update; raised alerts get their ids.
    struct AlertChanges {
        AlertUpdate update;
        std::vector<Alert> othersRaised;   // silent machines, failed nights
        std::vector<Alert> othersClosed;
    };
    void changeAlerts(const std::function<void(const std::vector<Alert>& known, AlertChanges& changes)>& decide,
                      AlertChanges& changes);
    // False when there is no such alert.
    bool setAlertState(long long id, AlertState state, const std::string& note, const std::string& by, long long now);
    void markAlertsSent(const std::vector<long long>& ids, long long now);

private:
    void prepareSchema();
    void createSchema();
    void createFrameColumns();
    void migrateFromVersion1();
    void createAlerts();
    void insertAlert(Alert& alert);
    void updateAlert(const Alert& alert);
    void begin();
    void insertFrames(long long id, const ResultsRun& run);
    void insertColumnsIntoSqlite(long long id, const FrameColumns& columns);
    void insertColumnsIntoPostgres(long long id, const FrameColumns& columns);
    void readVersion1Frames(long long id, ResultsRun& run);
    // Every row of frames of these runs, in the order of their ids and kernels.
    using ColumnsReader = std::function<void(long long runId, const FrameColumns& columns)>;
    void readColumnsFromSqlite(const std::vector<long long>& ids, const ColumnsReader& take);
    void readColumnsFromPostgres(const std::vector<long long>& ids, const ColumnsReader& take);
    void unpack(long long id, const FrameColumns& columns, ResultsRun& run);

    std::unique_ptr<soci::session> sql_;
    StoreLocation location_;
    int version_ = 0;
};
