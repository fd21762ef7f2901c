#include "store/history_store.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <libpq-fe.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unordered_map>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <soci/postgresql/soci-postgresql.h>
#include <soci/soci.h>
#include <soci/sqlite3/soci-sqlite3.h>

#include "common/display_text.h"
#include "common/messages.h"
#include "store/frame_columns.h"
#include "model/timing_file.h"
#include "programs/programs.h"

using nlohmann::json;
// SOCI declares SQLite's interface in this namespace.
using namespace sqlite_api;

namespace {

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// A libpq URI, or a key=value connection string libpq reads ("dbname=x
// host=/run/dir"); anything else is a SQLite path. Text that starts as a
// key=value string ("dbnme=x") but that libpq refuses gets libpq's reason
// in error: made a file name, it would quietly start an empty store.
bool isPostgresConnection(const std::string& text, std::string& error) {
    if (startsWith(text, "postgresql://") || startsWith(text, "postgres://")) return true;
    const size_t equals = text.find('=');
    if (equals == std::string::npos) return false;
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(text.c_str(), &message);
    const std::string reason = message != nullptr ? message : "";
    PQfreemem(message);
    if (options != nullptr) {
        PQconninfoFree(options);
        return true;
    }
    const size_t key = text.find_first_not_of(" \t");
    const size_t keyEnd = text.find_first_not_of("abcdefghijklmnopqrstuvwxyz_", key);
    if (key != std::string::npos && keyEnd > key && text.find_first_not_of(" \t", keyEnd) == equals)
        error = "the history store reads as a PostgreSQL connection string that libpq refuses: " +
                displayText(reason.substr(0, reason.find('\n')));
    return false;
}

// "mysql://x" names an engine, not a file to make; a sqlite:// URI with a
// host names no file on this machine.
std::string unknownScheme(const std::string& text) {
    const size_t colon = text.find("://");
    if (colon == std::string::npos || colon == 0 || !isalpha(static_cast<unsigned char>(text[0])) ||
        text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+.-") < colon)
        return "";
    const std::string scheme = text.substr(0, colon);
    const std::string taken = " (--db or LUMENFOLD_HISTORY): it takes a PostgreSQL URI (postgresql:// or "
                              "postgres://), a PostgreSQL key=value connection string, sqlite:PATH or a path";
    if (scheme == "postgresql" || scheme == "postgres") return "";
    if (scheme == "sqlite" && text.size() > colon + 3 && text[colon + 3] == '/') return "";
    if (scheme == "sqlite") return displayText(text) + " names a host, not a file, for the history store" + taken;
    return "unknown scheme " + displayText(scheme) + ":// for the history store" + taken;
}

std::string defaultStorePath(std::string& error) {
    const char* data = getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') return std::string(data) + "/lumenfold/history.sqlite";
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        error = "no place for the history store: HOME is not set; give --db PATH";
        return "";
    }
    return std::string(home) + "/.local/share/lumenfold/history.sqlite";
}

// The directories up to the store, created 0700 where missing: the store
// holds command lines and host names that are nobody else's business.
void makePrivateDirectories(const std::filesystem::path& directory) {
    if (directory.empty() || std::filesystem::exists(directory)) return;
    makePrivateDirectories(directory.parent_path());
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create " + directory.string() + ": " + strerror(errno));
}

void createPrivateFile(const std::string& path) {
    makePrivateDirectories(std::filesystem::path(path).parent_path());
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) throw std::runtime_error("cannot open the history store " + path + ": " + strerror(errno));
    struct stat file{};
    const bool regular = fstat(fd, &file) == 0 && S_ISREG(file.st_mode);
    close(fd);
    // A device or a pipe is never a store, and SQLite's message for one would not say so.
    if (!regular) throw std::runtime_error("the history store " + path + " is not a regular file");
}

// Version 1 kept a row per frame; version 2 a row per run and kernel with
// the frames packed (history/frame_columns.h). @ID@, @BLOB@ and @FRAMES@
// stand for what the two engines spell differently.
const char* const runsTable[] = {
    "CREATE TABLE runs (id @ID@, sha256 TEXT NOT NULL UNIQUE, machine TEXT NOT NULL, program TEXT NOT NULL, "
    "started TEXT NOT NULL, started_at BIGINT NOT NULL, source_file TEXT NOT NULL, frames INTEGER NOT NULL, "
    "setup_seconds DOUBLE PRECISION, summary TEXT NOT NULL, problems TEXT NOT NULL, context TEXT, "
    "excluded INTEGER NOT NULL DEFAULT 0, exclude_reason TEXT, added_at BIGINT NOT NULL)",
    "CREATE INDEX runs_series ON runs (machine, program, started_at)",
};
const char* const frameColumnsTable =
    "CREATE TABLE frame_columns (run_id BIGINT NOT NULL REFERENCES runs (id), kernel INTEGER NOT NULL, "
    "count INTEGER NOT NULL, first_line @BLOB@ NOT NULL, window_number @BLOB@ NOT NULL, seconds @BLOB@ NOT NULL, "
    "rate @BLOB@ NOT NULL, triangles @BLOB@, angles_per_second @BLOB@, PRIMARY KEY (run_id, kernel))@FRAMES@";

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string forEngine(std::string statement, bool postgres) {
    replaceAll(statement, "@ID@", postgres ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY");
    replaceAll(statement, "@BLOB@", postgres ? "BYTEA" : "BLOB");
    // SQLite: the rows are their key's tree, not a table and an index beside it.
    replaceAll(statement, "@FRAMES@", postgres ? "" : " WITHOUT ROWID");
    return statement;
}

// libpq's result, freed however its reader leaves.
struct PgResult {
    PGresult* result;
    ~PgResult() { PQclear(result); }
};

// libpq's error, its first line, when the statement did not end as expected.
void expectStatus(const PgResult& done, ExecStatusType expected, const std::string& doing) {
    if (PQresultStatus(done.result) == expected) return;
    const std::string message = PQresultErrorMessage(done.result);
    throw std::runtime_error("cannot " + doing + ": " + message.substr(0, message.find('\n')));
}

// After a failure, whose message is the one to tell: SQLite may have ended
// the transaction itself, and "no transaction is active" would hide it.
void rollBack(soci::session& sql) {
    try {
        sql << "ROLLBACK";
    } catch (const std::exception&) {
    }
}

sqlite3* sqliteOf(soci::session& sql) {
    return static_cast<soci::sqlite3_session_backend*>(sql.get_backend())->conn_;
}

PGconn* postgresOf(soci::session& sql) {
    return static_cast<soci::postgresql_session_backend*>(sql.get_backend())->conn_;
}

uint32_t bigEndian32(const char* bytes) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
    return value;
}

double orNan(double value, soci::indicator indicator) { return indicator == soci::i_ok ? value : NAN; }
soci::indicator nullIfNan(double value) { return std::isnan(value) ? soci::i_null : soci::i_ok; }

json summaryColumn(const FinalSummary& s) {
    return {{"present", s.present},       {"firstLine", s.firstLine},
            {"totalSeconds", s.present ? json(s.totalSeconds) : json(nullptr)},
            {"averageAnglesPerSecond", s.present ? json(s.averageAnglesPerSecond) : json(nullptr)},
            {"averageVerticesPerSecond", s.present ? json(s.averageVerticesPerSecond) : json(nullptr)},
            {"lines", s.lines}};
}

}  // namespace

std::string describeConnection(const std::string& connection) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(connection.c_str(), &error);
    if (options == nullptr) {
        PQfreemem(error);
        return "a PostgreSQL database (the connection string cannot be read)";
    }
    std::string host, database;
    for (PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
        if (o->val == nullptr) continue;
        if (strcmp(o->keyword, "host") == 0) host = o->val;
        if (strcmp(o->keyword, "dbname") == 0) database = o->val;
    }
    PQconninfoFree(options);
    return "host " + (host.empty() ? std::string("(default)") : host) + ", database " +
           (database.empty() ? std::string("(default)") : database);
}

bool storeLocation(const std::string& dbOption, StoreLocation& location, std::string& error) {
    std::string given = dbOption;
    if (given.empty())
        if (const char* fromEnvironment = getenv("LUMENFOLD_HISTORY")) given = fromEnvironment;
    if (given.empty()) {
        location = {false, defaultStorePath(error), ""};
    } else if (!(error = unknownScheme(given)).empty()) {
        return false;
    } else if (startsWith(given, "sqlite:")) {
        location = {false, given.substr(7), ""};
    } else if (isPostgresConnection(given, error)) {
        location = {true, given, describeConnection(given)};
        return true;
    } else {
        location = {false, given, ""};
    }
    location.shown = location.target;
    if (error.empty() && location.target.empty()) error = "the history store's path is empty";
    if (error.empty() && location.target.find('"') != std::string::npos)
        error = "the history store's path may not hold a double quote";
    return error.empty();
}

HistoryStore::HistoryStore(const StoreLocation& location) : location_(location) {
    try {
        if (location.postgres) {
            sql_ = std::make_unique<soci::session>(*soci::factory_postgresql(), location.target);
            *sql_ << "SET client_min_messages = warning";
        } else {
            createPrivateFile(location.target);
            sql_ = std::make_unique<soci::session>(*soci::factory_sqlite3(),
                                                   "db=\"" + location.target + "\" timeout=60");
        }
    } catch (const soci::soci_error& e) {
        // libpq's message names the server and user, never the password.
        std::string message = e.what();
        if (location.postgres)
            throw std::runtime_error("cannot connect to the history store (" + location.shown + "): " +
                                     message.substr(0, message.find('\n')));
        throw std::runtime_error("cannot open the history store " + location.shown + ": " + message);
    }
    prepareSchema();
}

HistoryStore::~HistoryStore() = default;

void HistoryStore::begin() {
    // SQLite: take the write lock at once, so that two adders queue on the
    // busy timeout rather than fail on a lock upgrade.
    *sql_ << (location_.postgres ? "BEGIN" : "BEGIN IMMEDIATE");
}

void HistoryStore::prepareSchema() {
    soci::session& sql = *sql_;
    begin();
    try {
        // Two first adders at once must not both create or upgrade the tables.
        if (location_.postgres) sql << "SELECT pg_advisory_xact_lock(7718001)";
        int tables = 0;
        if (location_.postgres)
            sql << "SELECT count(*) FROM pg_tables WHERE tablename = 'lumenfold_schema' AND schemaname = current_schema()",
                soci::into(tables);
        else
            sql << "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'lumenfold_schema'",
                soci::into(tables);
        if (tables > 0)
            sql << "SELECT max(version) FROM lumenfold_schema", soci::into(version_);
        else
            createSchema();
        if (version_ > historySchemaVersion)
            throw std::runtime_error("the history store " + location_.shown + " has schema version " +
                                     std::to_string(version_) + ", newer than this lumenfold knows (" +
                                     std::to_string(historySchemaVersion) +
                                     "): use a newer lumenfold; the store is left unchanged");
        if (version_ == 1) migrateFromVersion1();
        if (version_ == 2) {
            tell("upgrading the history store " + location_.shown + " from schema version 2 to 3 (alerts, machine state)");
            createAlerts();
            sql << "ALTER TABLE runs ADD COLUMN machine_samples TEXT";
            sql << "UPDATE lumenfold_schema SET version = 3";
            version_ = 3;
        }
        if (version_ == 3) {
            tell("upgrading the history store " + location_.shown + " from schema version 3 to 4 (frames' timing)");
            sql << "ALTER TABLE runs ADD COLUMN frame_timing TEXT";
            sql << "UPDATE lumenfold_schema SET version = 4";
            version_ = 4;
        }
        sql << "COMMIT";
    } catch (...) {
        rollBack(sql);
        throw;
    }
    if (!location_.postgres) {
        std::string mode;
        sql << "PRAGMA journal_mode = WAL", soci::into(mode);
        // In WAL mode a commit then waits for no disk flush; a crash of
        // lumenfold or of the machine still leaves each run whole or absent,
        // and a power cut may forget the last runs added, whose results
        // files are still there to add again.
        sql << "PRAGMA synchronous = NORMAL";
        // Each checkpoint waits for the disk twice; one per 64 MiB of
        // frames, not per 4 MiB, keeps a long add from waiting on them.
        sql << "PRAGMA wal_autocheckpoint = 16384";
    }
}

void HistoryStore::createSchema() {
    soci::session& sql = *sql_;
    sql << "CREATE TABLE lumenfold_schema (version INTEGER NOT NULL)";
    for (const char* statement : runsTable) sql << forEngine(statement, location_.postgres);
    createFrameColumns();
    createAlerts();
    sql << "ALTER TABLE runs ADD COLUMN machine_samples TEXT";
    sql << "ALTER TABLE runs ADD COLUMN frame_timing TEXT";
    version_ = historySchemaVersion;
    sql << "INSERT INTO lumenfold_schema (version) VALUES (:v)", soci::use(version_);
}

void HistoryStore::createFrameColumns() {
    *sql_ << forEngine(frameColumnsTable, location_.postgres);
    // Packed doubles hardly compress; trying costs PostgreSQL more than
    // storing them.
    if (location_.postgres)
        for (const char* c : {"first_line", "window_number", "seconds", "rate", "triangles", "angles_per_second"})
            *sql_ << std::string("ALTER TABLE frame_columns ALTER COLUMN ") + c + " SET STORAGE EXTERNAL";
}

// Version 1 kept a row per frame. Its runs are packed one by one inside the
// transaction that opened the store, so an upgrade cut short leaves the
// store as it was, and another lumenfold waits for it on the schema's lock.
void HistoryStore::migrateFromVersion1() {
    soci::session& sql = *sql_;
    std::vector<std::pair<long long, std::string>> ids;
    long long id = 0;
    std::string program;
    soci::statement select = (sql.prepare << "SELECT id, program FROM runs ORDER BY id", soci::into(id),
                              soci::into(program));
    select.execute();
    while (select.fetch()) ids.emplace_back(id, program);
    tell("upgrading the history store " + location_.shown + " from schema version 1 to 2 (" +
         std::to_string(ids.size()) + " runs)");
    createFrameColumns();
    for (const auto& [run, name] : ids) {
        ResultsRun frames;
        frames.program = findProgram(name);
        if (frames.program != nullptr) frames.kernels.resize(frames.program->results.kernels.size());
        readVersion1Frames(run, frames);
        insertFrames(run, frames);
    }
    sql << "DROP TABLE frames";
    sql << "UPDATE lumenfold_schema SET version = 2";
    version_ = 2;
}

bool HistoryStore::add(const NewRun& n) {
    soci::session& sql = *sql_;
    const ResultsRun& run = *n.run;
    const std::string program = programName(run.program);
    const int frames = frameCount(run);
    const double setup = run.hasSetup ? run.setupSeconds : NAN;
    const std::string summary = summaryColumn(run.summary).dump();
    json problems = json::array();
    for (const Problem& p : run.problems) problems.push_back({{"line", p.line}, {"message", p.message}});
    const std::string problemsText = problems.dump();
    const long long added = time(nullptr);
    soci::indicator contextIndicator = n.context ? soci::i_ok : soci::i_null;
    const std::string context = n.context.value_or("");
    soci::indicator setupIndicator = nullIfNan(setup);
    const int excluded = n.excludedBecause ? 1 : 0;
    const std::string reason = n.excludedBecause.value_or("");
    soci::indicator reasonIndicator = n.excludedBecause ? soci::i_ok : soci::i_null;
    soci::indicator samplesIndicator = n.machineSamples ? soci::i_ok : soci::i_null;
    const std::string samples = n.machineSamples.value_or("");
    soci::indicator timingIndicator = n.frameTiming ? soci::i_ok : soci::i_null;
    const std::string timing = n.frameTiming.value_or("");
    begin();
    try {
        long long id = 0;
        bool inserted = false;
        {  // the statement ends before COMMIT: SQLite refuses to commit under one still open
            soci::statement insert =
                (sql.prepare << "INSERT INTO runs (sha256, machine, program, started, started_at, source_file, frames, "
                                "setup_seconds, summary, problems, context, added_at, excluded, exclude_reason, machine_samples, "
                                "frame_timing) "
                                "VALUES (:sha, :machine, :program, :started, :startedAt, :source, :frames, :setup, "
                                ":summary, :problems, :context, :added, :excluded, :reason, :samples, :timing) "
                                "ON CONFLICT (sha256) DO NOTHING RETURNING id",
                 soci::use(n.sha256), soci::use(n.machine), soci::use(program), soci::use(n.started),
                 soci::use(n.startedAt), soci::use(n.sourceFile), soci::use(frames), soci::use(setup, setupIndicator),
                 soci::use(summary), soci::use(problemsText), soci::use(context, contextIndicator), soci::use(added),
                 soci::use(excluded), soci::use(reason, reasonIndicator), soci::use(samples, samplesIndicator),
                 soci::use(timing, timingIndicator), soci::into(id));
            insert.execute(true);
            inserted = insert.got_data();
        }
        if (!inserted) {
            sql << "ROLLBACK";
            return false;
        }
        insertFrames(id, run);
        sql << "COMMIT";
        return true;
    } catch (...) {
        rollBack(sql);
        throw;
    }
}

void HistoryStore::insertFrames(long long id, const ResultsRun& run) {
    for (const FrameColumns& columns : packFrames(run)) {
        if (location_.postgres)
            insertColumnsIntoPostgres(id, columns);
        else
            insertColumnsIntoSqlite(id, columns);
    }
}

// SQLite's own interface under SOCI's connection: it binds the packed
// columns as they are, where SOCI would take them for text.
void HistoryStore::insertColumnsIntoSqlite(long long id, const FrameColumns& c) {
    sqlite3* db = sqliteOf(*sql_);
    sqlite3_stmt* insert = nullptr;
    const char* const text = "INSERT INTO frame_columns (run_id, kernel, count, first_line, window_number, seconds, "
                             "rate, triangles, angles_per_second) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)";
    if (sqlite3_prepare_v2(db, text, -1, &insert, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("cannot store frames: ") + sqlite3_errmsg(db));
    sqlite3_bind_int64(insert, 1, id);
    sqlite3_bind_int(insert, 2, c.kernel);
    sqlite3_bind_int(insert, 3, c.count);
    const auto columns = c.stored();
    for (int i = 0; i < 6; ++i) {
        if (columns[i] == nullptr)
            sqlite3_bind_null(insert, 4 + i);
        else
            sqlite3_bind_blob64(insert, 4 + i, columns[i]->data(), columns[i]->size(), SQLITE_STATIC);
    }
    const bool stored = sqlite3_step(insert) == SQLITE_DONE;
    const std::string error = stored ? "" : sqlite3_errmsg(db);
    sqlite3_finalize(insert);
    if (!stored) throw std::runtime_error("cannot store frames: " + error);
}

// libpq under SOCI's connection, with the packed columns as binary
// parameters: SOCI would carry them as text, twice the bytes and a
// conversion on each side.
void HistoryStore::insertColumnsIntoPostgres(long long id, const FrameColumns& c) {
    PGconn* connection = postgresOf(*sql_);
    const std::string runId = std::to_string(id), kernel = std::to_string(c.kernel), count = std::to_string(c.count);
    const auto columns = c.stored();
    const char* values[9] = {runId.c_str(), kernel.c_str(), count.c_str()};
    int lengths[9] = {}, formats[9] = {};
    for (int i = 0; i < 6; ++i) {
        values[3 + i] = columns[i] == nullptr ? nullptr : columns[i]->data();
        lengths[3 + i] = columns[i] == nullptr ? 0 : int(columns[i]->size());
        formats[3 + i] = 1;
    }
    const PgResult done{PQexecParams(connection,
                                     "INSERT INTO frame_columns (run_id, kernel, count, first_line, window_number, "
                                     "seconds, rate, triangles, angles_per_second) VALUES ($1::bigint, $2::integer, "
                                     "$3::integer, $4::bytea, $5::bytea, $6::bytea, $7::bytea, $8::bytea, $9::bytea)",
                                     9, nullptr, values, lengths, formats, 0)};
    expectStatus(done, PGRES_COMMAND_OK, "store frames");
}

std::vector<StoredRun> HistoryStore::list(const std::string& machine, const std::string& program, bool withContext) {
    std::vector<StoredRun> out;
    const std::string query =
        std::string("SELECT id, sha256, machine, program, started, started_at, source_file, frames, excluded, "
                    "exclude_reason, setup_seconds, ") +
        (withContext ? "context, machine_samples, frame_timing" : "NULL, NULL, NULL") +
        " FROM runs WHERE (:m1 = '' OR machine = :m2) AND (:p1 = '' OR program = :p2) "
        "ORDER BY machine, program, started_at, id";
    StoredRun run;
    int excluded = 0;
    soci::indicator reasonNull = soci::i_null, contextNull = soci::i_null, setupNull = soci::i_null,
                    samplesNull = soci::i_null, timingNull = soci::i_null;
    std::string context, samples, timing;
    double setup = 0;
    soci::statement st = (sql_->prepare << query, soci::use(machine), soci::use(machine), soci::use(program),
                          soci::use(program), soci::into(run.id), soci::into(run.sha256), soci::into(run.machine),
                          soci::into(run.program), soci::into(run.started), soci::into(run.startedAt),
                          soci::into(run.sourceFile), soci::into(run.frames), soci::into(excluded),
                          soci::into(run.excludeReason, reasonNull), soci::into(setup, setupNull),
                          soci::into(context, contextNull), soci::into(samples, samplesNull),
                          soci::into(timing, timingNull));
    st.execute();
    while (st.fetch()) {
        StoredRun row = run;
        row.excluded = excluded != 0;
        if (reasonNull != soci::i_ok) row.excludeReason.clear();
        if (contextNull == soci::i_ok) row.context = context;
        if (samplesNull == soci::i_ok) row.machineSamples = samples;
        if (timingNull == soci::i_ok) row.frameTiming = timing;
        if (setupNull == soci::i_ok) row.setupSeconds = setup;
        out.push_back(std::move(row));
    }
    return out;
}

bool HistoryStore::setExcluded(long long id, bool excluded, const std::string& reason) {
    const int flag = excluded ? 1 : 0;
    soci::indicator reasonIndicator = excluded ? soci::i_ok : soci::i_null;
    soci::statement update = (sql_->prepare << "UPDATE runs SET excluded = :e, exclude_reason = :r WHERE id = :id",
                              soci::use(flag), soci::use(reason, reasonIndicator), soci::use(id));
    update.execute(true);
    return update.get_affected_rows() > 0;
}

std::vector<ResultsRun> HistoryStore::runsData(std::span<const StoredRun> runs) {
    std::vector<ResultsRun> out(runs.size());
    std::unordered_map<long long, size_t> placeOf;   // where a run's frames go, by its id
    std::vector<long long> ids;
    for (size_t i = 0; i < runs.size(); ++i) {
        ResultsRun& run = out[i];
        run.program = findProgram(runs[i].program);
        run.recognised = run.program != nullptr;
        run.path = runs[i].sourceFile;
        run.hasSetup = runs[i].setupSeconds.has_value();
        run.setupSeconds = runs[i].setupSeconds.value_or(0);
        // A program this lumenfold does not know gives no figures; its frames
        // are not read, as their kernels and steps cannot be told.
        if (!run.recognised) continue;
        run.kernels.resize(run.program->results.kernels.size());
        if (placeOf.emplace(runs[i].id, i).second) ids.push_back(runs[i].id);
    }
    // Many runs a statement: a statement a run is a round trip a run, most
    // of what reading a fleet's store would take.
    constexpr size_t batch = 500;
    const auto take = [&](long long id, const FrameColumns& columns) {
        const auto at = placeOf.find(id);
        if (at != placeOf.end()) unpack(id, columns, out[at->second]);
    };
    for (size_t first = 0; first < ids.size(); first += batch) {
        const std::vector<long long> some(ids.begin() + long(first),
                                          ids.begin() + long(std::min(first + batch, ids.size())));
        if (location_.postgres)
            readColumnsFromPostgres(some, take);
        else
            readColumnsFromSqlite(some, take);
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        if (!out[i].recognised) continue;
        if (placeOf.at(runs[i].id) != i) out[i] = out[placeOf.at(runs[i].id)];   // the same run asked for twice
        // Frames with a block of every kernel, as the reader counted them:
        // blocks of incomplete frames are kept too, so the blocks alone do not tell.
        out[i].completeFrames = out[i].program->results.byKernel() ? runs[i].frames : 0;
        // A timed run's frames take their times as its results file's did.
        if (runs[i].frameTiming) attachTiming(out[i], parseTimingText(*runs[i].frameTiming, runs[i].sourceFile));
    }
    return out;
}

// Version 1's rows of frames, for the upgrade.
void HistoryStore::readVersion1Frames(long long id, ResultsRun& run) {
    const size_t batch = 4096;
    std::vector<int> kernel(batch), firstLine(batch);
    std::vector<long long> window(batch);
    std::vector<double> seconds(batch), rate(batch), triangles(batch), angles(batch);
    std::vector<soci::indicator> secondsNull(batch), rateNull(batch), trianglesNull(batch), anglesNull(batch);
    soci::statement st = (sql_->prepare << "SELECT kernel, first_line, window_number, seconds, rate, triangles, "
                                           "angles_per_second FROM frames WHERE run_id = :id ORDER BY kernel, seq",
                          soci::use(id), soci::into(kernel), soci::into(firstLine), soci::into(window),
                          soci::into(seconds, secondsNull), soci::into(rate, rateNull),
                          soci::into(triangles, trianglesNull), soci::into(angles, anglesNull));
    st.execute();
    while (st.fetch()) {
        for (size_t i = 0; i < kernel.size(); ++i) {
            if (kernel[i] < 0)
                run.frames.push_back(Frame{firstLine[i], long(window[i]), orNan(triangles[i], trianglesNull[i]),
                                           orNan(seconds[i], secondsNull[i]), orNan(angles[i], anglesNull[i]),
                                           orNan(rate[i], rateNull[i])});
            else if (size_t(kernel[i]) < run.kernels.size())
                run.kernels[size_t(kernel[i])].push_back(KernelBlock{firstLine[i], long(window[i]),
                                                             orNan(seconds[i], secondsNull[i]),
                                                             orNan(rate[i], rateNull[i])});
        }
        for (auto* v : {&kernel, &firstLine}) v->resize(batch);
        window.resize(batch);
        for (auto* v : {&seconds, &rate, &triangles, &angles}) v->resize(batch);
        for (auto* v : {&secondsNull, &rateNull, &trianglesNull, &anglesNull}) v->resize(batch);
    }
}

void HistoryStore::unpack(long long id, const FrameColumns& columns, ResultsRun& run) {
    std::string error;
    if (!unpackFrames(columns, run, error))
        throw std::runtime_error("run " + std::to_string(id) + " in the history store " + location_.shown +
                                 " is damaged: " + error);
}

void HistoryStore::readColumnsFromSqlite(const std::vector<long long>& ids, const ColumnsReader& take) {
    sqlite3* db = sqliteOf(*sql_);
    std::string text = "SELECT run_id, kernel, count, first_line, window_number, seconds, rate, triangles, "
                       "angles_per_second FROM frame_columns WHERE run_id IN (";
    for (size_t i = 0; i < ids.size(); ++i) text += i == 0 ? "?" : ", ?";
    text += ") ORDER BY run_id, kernel";
    sqlite3_stmt* select = nullptr;
    if (sqlite3_prepare_v2(db, text.c_str(), -1, &select, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("cannot read frames: ") + sqlite3_errmsg(db));
    for (size_t i = 0; i < ids.size(); ++i) sqlite3_bind_int64(select, int(i + 1), ids[i]);
    const auto bytes = [select](int column) {
        const void* data = sqlite3_column_blob(select, column);
        return data == nullptr ? std::string() : std::string(static_cast<const char*>(data),
                                                             size_t(sqlite3_column_bytes(select, column)));
    };
    int status;
    try {
        while ((status = sqlite3_step(select)) == SQLITE_ROW) {
            const FrameColumns c{sqlite3_column_int(select, 1), sqlite3_column_int(select, 2), bytes(3), bytes(4),
                                 bytes(5), bytes(6), bytes(7), bytes(8)};
            take(sqlite3_column_int64(select, 0), c);
        }
    } catch (...) {
        sqlite3_finalize(select);
        throw;
    }
    const std::string error = status == SQLITE_DONE ? "" : sqlite3_errmsg(db);
    sqlite3_finalize(select);
    if (!error.empty()) throw std::runtime_error("cannot read frames: " + error);
}

void HistoryStore::readColumnsFromPostgres(const std::vector<long long>& ids, const ColumnsReader& take) {
    PGconn* connection = postgresOf(*sql_);
    std::string array = "{";
    for (size_t i = 0; i < ids.size(); ++i) array += (i == 0 ? "" : ",") + std::to_string(ids[i]);
    array += "}";
    const char* values[1] = {array.c_str()};
    // Binary results: the integers come big-endian, the columns as stored.
    const PgResult rows{PQexecParams(connection,
                                     "SELECT run_id, kernel, count, first_line, window_number, seconds, rate, "
                                     "triangles, angles_per_second FROM frame_columns "
                                     "WHERE run_id = ANY($1::bigint[]) ORDER BY run_id, kernel",
                                     1, nullptr, values, nullptr, nullptr, 1)};
    expectStatus(rows, PGRES_TUPLES_OK, "read frames");
    for (int row = 0; row < PQntuples(rows.result); ++row) {
        const auto bytes = [&](int column) {
            return std::string(PQgetvalue(rows.result, row, column), size_t(PQgetlength(rows.result, row, column)));
        };
        if (PQgetlength(rows.result, row, 0) != 8 || PQgetlength(rows.result, row, 1) != 4 ||
            PQgetlength(rows.result, row, 2) != 4)
            throw std::runtime_error("cannot read frames: the server sent a run, kernel or count that is no integer");
        const char* runId = PQgetvalue(rows.result, row, 0);
        const long long id = (long long)(uint64_t(bigEndian32(runId)) << 32 | bigEndian32(runId + 4));
        const FrameColumns c{int(bigEndian32(PQgetvalue(rows.result, row, 1))),
                             int(bigEndian32(PQgetvalue(rows.result, row, 2))), bytes(3), bytes(4), bytes(5),
                             bytes(6), bytes(7), bytes(8)};
        take(id, c);
    }
}
