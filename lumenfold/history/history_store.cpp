#include "history/history_store.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <type_traits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <libpq-fe.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <soci/postgresql/soci-postgresql.h>
#include <soci/soci.h>
#include <soci/sqlite3/soci-sqlite3.h>

using nlohmann::json;
// SOCI declares SQLite's interface in this namespace.
using namespace sqlite_api;

namespace {

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// A libpq URI, or a key=value connection string libpq reads ("dbname=x
// host=/run/dir"); anything else is a SQLite path.
bool isPostgresConnection(const std::string& text) {
    if (startsWith(text, "postgresql://") || startsWith(text, "postgres://")) return true;
    if (text.find('=') == std::string::npos) return false;
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(text.c_str(), &error);
    PQfreemem(error);
    if (options == nullptr) return false;
    PQconninfoFree(options);
    return true;
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
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) throw std::runtime_error("cannot open the history store " + path + ": " + strerror(errno));
    close(fd);
}

const char* const schemaV1[] = {
    "CREATE TABLE runs (id @ID@, sha256 TEXT NOT NULL UNIQUE, machine TEXT NOT NULL, program TEXT NOT NULL, "
    "started TEXT NOT NULL, started_at BIGINT NOT NULL, source_file TEXT NOT NULL, frames INTEGER NOT NULL, "
    "setup_seconds DOUBLE PRECISION, summary TEXT NOT NULL, problems TEXT NOT NULL, context TEXT, "
    "excluded INTEGER NOT NULL DEFAULT 0, exclude_reason TEXT, added_at BIGINT NOT NULL)",
    "CREATE INDEX runs_series ON runs (machine, program, started_at)",
    // kernel -1: a triangles or cube frame; 0, 1, 2: a streaming kernel block.
    "CREATE TABLE frames (run_id BIGINT NOT NULL REFERENCES runs (id), kernel INTEGER NOT NULL, "
    "seq INTEGER NOT NULL, first_line INTEGER NOT NULL, window_number BIGINT NOT NULL, "
    "seconds DOUBLE PRECISION, rate DOUBLE PRECISION, triangles DOUBLE PRECISION, "
    "angles_per_second DOUBLE PRECISION, PRIMARY KEY (run_id, kernel, seq))@FRAMES@",
};

// An array literal of PostgreSQL's: numbers exactly (17 digits for a
// double), NULL for not-a-number, as in the row-at-a-time path.
template <typename T>
std::string arrayLiteral(const std::vector<T>& values, size_t from, size_t to) {
    std::string out = "{";
    char text[40];
    for (size_t i = from; i < to; ++i) {
        if (i > from) out += ',';
        if constexpr (std::is_floating_point_v<T>) {
            if (std::isnan(values[i])) out += "NULL";
            else if (std::isinf(values[i])) out += values[i] > 0 ? "Infinity" : "-Infinity";
            else out.append(text, size_t(snprintf(text, sizeof text, "%.17g", values[i])));
        } else {
            out += std::to_string(values[i]);
        }
    }
    return out + "}";
}

double orNan(double value, soci::indicator indicator) { return indicator == soci::i_ok ? value : NAN; }
soci::indicator nullIfNan(double value) { return std::isnan(value) ? soci::i_null : soci::i_ok; }

json summaryJson(const FinalSummary& s) {
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
    } else if (startsWith(given, "sqlite:")) {
        location = {false, given.substr(7), ""};
    } else if (isPostgresConnection(given)) {
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
        // Two first adders at once must not both create the tables.
        if (location_.postgres) sql << "SELECT pg_advisory_xact_lock(7718001)";
        int tables = 0;
        if (location_.postgres)
            sql << "SELECT count(*) FROM pg_tables WHERE tablename = 'lumenfold_schema' AND schemaname = current_schema()",
                soci::into(tables);
        else
            sql << "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'lumenfold_schema'",
                soci::into(tables);
        if (tables > 0) {
            sql << "SELECT max(version) FROM lumenfold_schema", soci::into(version_);
        } else {
            sql << "CREATE TABLE lumenfold_schema (version INTEGER NOT NULL)";
            for (std::string statement : schemaV1) {
                const size_t id = statement.find("@ID@");
                if (id != std::string::npos)
                    statement.replace(id, 4, location_.postgres ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY");
                // SQLite: the frames are their key's tree, not a table and an index beside it.
                const size_t frames = statement.find("@FRAMES@");
                if (frames != std::string::npos) statement.replace(frames, 8, location_.postgres ? "" : " WITHOUT ROWID");
                sql << statement;
            }
            version_ = historySchemaVersion;
            sql << "INSERT INTO lumenfold_schema (version) VALUES (:v)", soci::use(version_);
        }
        if (version_ > historySchemaVersion)
            throw std::runtime_error("the history store " + location_.shown + " has schema version " +
                                     std::to_string(version_) + ", newer than this lumenfold knows (" +
                                     std::to_string(historySchemaVersion) +
                                     "): use a newer lumenfold; the store is left unchanged");
        // Migrations from older versions go here, inside this transaction.
        sql << "COMMIT";
    } catch (...) {
        sql << "ROLLBACK";
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
    }
}

bool HistoryStore::add(const NewRun& n) {
    soci::session& sql = *sql_;
    const ResultsRun& run = *n.run;
    const std::string program = programName(run.program);
    const int frames = frameCount(run);
    const double setup = run.hasSetup ? run.setupSeconds : NAN;
    const std::string summary = summaryJson(run.summary).dump();
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
    begin();
    try {
        long long id = 0;
        bool inserted = false;
        {  // the statement ends before COMMIT: SQLite refuses to commit under one still open
            soci::statement insert =
                (sql.prepare << "INSERT INTO runs (sha256, machine, program, started, started_at, source_file, frames, "
                                "setup_seconds, summary, problems, context, added_at, excluded, exclude_reason) VALUES (:sha, "
                                ":machine, :program, :started, :startedAt, :source, :frames, :setup, :summary, "
                                ":problems, :context, :added, :excluded, :reason) "
                                "ON CONFLICT (sha256) DO NOTHING RETURNING id",
                 soci::use(n.sha256), soci::use(n.machine), soci::use(program), soci::use(n.started),
                 soci::use(n.startedAt), soci::use(n.sourceFile), soci::use(frames), soci::use(setup, setupIndicator),
                 soci::use(summary), soci::use(problemsText), soci::use(context, contextIndicator), soci::use(added),
                 soci::use(excluded), soci::use(reason, reasonIndicator), soci::into(id));
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
        sql << "ROLLBACK";
        throw;
    }
}

void HistoryStore::insertFrames(long long id, const ResultsRun& run) {
    struct Columns {
        std::vector<long long> runId, window;
        std::vector<int> kernel, seq, firstLine;
        std::vector<double> seconds, rate, triangles, angles;
        void add(long long r, int k, int s, int line, long w, double sec, double rt, double tri, double ang) {
            runId.push_back(r), kernel.push_back(k), seq.push_back(s), firstLine.push_back(line), window.push_back(w);
            seconds.push_back(sec), rate.push_back(rt), triangles.push_back(tri), angles.push_back(ang);
        }
    } c;
    for (size_t i = 0; i < run.frames.size(); ++i) {
        const Frame& f = run.frames[i];
        c.add(id, -1, int(i), f.firstLine, f.window, f.seconds, f.rate, f.triangles, f.anglesPerSecond);
    }
    for (int k = 0; k < kernelCount; ++k)
        for (size_t i = 0; i < run.kernels[k].size(); ++i) {
            const KernelBlock& b = run.kernels[k][i];
            c.add(id, k, int(i), b.firstLine, b.window, b.seconds, b.millionsPerSecond, NAN, NAN);
        }
    if (c.runId.empty()) return;
    if (location_.postgres) {
        insertFramesAsArrays(id, c.kernel, c.seq, c.firstLine, c.window, {&c.seconds, &c.rate, &c.triangles, &c.angles});
        return;
    }
    insertFramesIntoSqlite(c.runId, c.kernel, c.seq, c.firstLine, c.window,
                           {&c.seconds, &c.rate, &c.triangles, &c.angles});
}

// SQLite: one prepared statement stepped per frame through SQLite's own
// interface, under SOCI's connection; SOCI's bulk binding costs more than the
// insertion itself. Not-a-number is bound as NULL, which SQLite stores for it
// anyway.
void HistoryStore::insertFramesIntoSqlite(const std::vector<long long>& runId, const std::vector<int>& kernel,
                                          const std::vector<int>& seq, const std::vector<int>& firstLine,
                                          const std::vector<long long>& window,
                                          const std::vector<const std::vector<double>*>& values) {
    sqlite3* db = static_cast<soci::sqlite3_session_backend*>(sql_->get_backend())->conn_;
    sqlite3_stmt* insert = nullptr;
    const char* const text = "INSERT INTO frames (run_id, kernel, seq, first_line, window_number, seconds, rate, "
                             "triangles, angles_per_second) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)";
    if (sqlite3_prepare_v2(db, text, -1, &insert, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("cannot store frames: ") + sqlite3_errmsg(db));
    for (size_t i = 0; i < runId.size(); ++i) {
        sqlite3_bind_int64(insert, 1, runId[i]);
        sqlite3_bind_int(insert, 2, kernel[i]);
        sqlite3_bind_int(insert, 3, seq[i]);
        sqlite3_bind_int(insert, 4, firstLine[i]);
        sqlite3_bind_int64(insert, 5, window[i]);
        for (int v = 0; v < 4; ++v) {
            const double value = (*values[size_t(v)])[i];
            if (std::isnan(value)) sqlite3_bind_null(insert, 6 + v);
            else sqlite3_bind_double(insert, 6 + v, value);
        }
        if (sqlite3_step(insert) != SQLITE_DONE) {
            const std::string error = sqlite3_errmsg(db);
            sqlite3_finalize(insert);
            throw std::runtime_error("cannot store frames: " + error);
        }
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
}

// PostgreSQL answers each statement over the wire: a row at a time, a run
// of a million frames would take minutes. Each column goes instead as one
// bound array parameter, unnested on the server, in chunks.
void HistoryStore::insertFramesAsArrays(long long id, const std::vector<int>& kernel, const std::vector<int>& seq,
                                        const std::vector<int>& firstLine, const std::vector<long long>& window,
                                        const std::vector<const std::vector<double>*>& values) {
    const size_t chunk = 50000;
    for (size_t from = 0; from < kernel.size(); from += chunk) {
        const size_t to = std::min(kernel.size(), from + chunk);
        const std::string k = arrayLiteral(kernel, from, to), s = arrayLiteral(seq, from, to),
                          l = arrayLiteral(firstLine, from, to), w = arrayLiteral(window, from, to),
                          sec = arrayLiteral(*values[0], from, to), rate = arrayLiteral(*values[1], from, to),
                          tri = arrayLiteral(*values[2], from, to), ang = arrayLiteral(*values[3], from, to);
        *sql_ << "INSERT INTO frames (run_id, kernel, seq, first_line, window_number, seconds, rate, triangles, "
                 "angles_per_second) SELECT :r, * FROM unnest(CAST(:k AS INTEGER[]), CAST(:s AS INTEGER[]), "
                 "CAST(:l AS INTEGER[]), CAST(:w AS BIGINT[]), CAST(:sec AS DOUBLE PRECISION[]), "
                 "CAST(:rate AS DOUBLE PRECISION[]), CAST(:tri AS DOUBLE PRECISION[]), "
                 "CAST(:ang AS DOUBLE PRECISION[]))",
            soci::use(id), soci::use(k), soci::use(s), soci::use(l), soci::use(w), soci::use(sec), soci::use(rate),
            soci::use(tri), soci::use(ang);
    }
}

std::vector<StoredRun> HistoryStore::list(const std::string& machine, const std::string& program, bool withContext) {
    std::vector<StoredRun> out;
    const std::string query =
        std::string("SELECT id, sha256, machine, program, started, started_at, source_file, frames, excluded, "
                    "exclude_reason, ") +
        (withContext ? "context" : "NULL") +
        " FROM runs WHERE (:m1 = '' OR machine = :m2) AND (:p1 = '' OR program = :p2) "
        "ORDER BY machine, program, started_at, id";
    StoredRun run;
    int excluded = 0;
    soci::indicator reasonNull = soci::i_null, contextNull = soci::i_null;
    std::string context;
    soci::statement st = (sql_->prepare << query, soci::use(machine), soci::use(machine), soci::use(program),
                          soci::use(program), soci::into(run.id), soci::into(run.sha256), soci::into(run.machine),
                          soci::into(run.program), soci::into(run.started), soci::into(run.startedAt),
                          soci::into(run.sourceFile), soci::into(run.frames), soci::into(excluded),
                          soci::into(run.excludeReason, reasonNull), soci::into(context, contextNull));
    st.execute();
    while (st.fetch()) {
        StoredRun row = run;
        row.excluded = excluded != 0;
        if (reasonNull != soci::i_ok) row.excludeReason.clear();
        if (contextNull == soci::i_ok) row.context = context;
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

std::vector<ResultsRun> HistoryStore::runsData(const std::vector<StoredRun>& runs) {
    std::vector<ResultsRun> out;
    out.reserve(runs.size());
    for (const StoredRun& stored : runs) {
        ResultsRun run;
        run.recognised = programFromName(stored.program, run.program);
        run.path = stored.sourceFile;
        double setup = 0;
        soci::indicator setupIndicator = soci::i_null;
        *sql_ << "SELECT setup_seconds FROM runs WHERE id = :id", soci::use(stored.id), soci::into(setup, setupIndicator);
        run.hasSetup = setupIndicator == soci::i_ok;
        run.setupSeconds = run.hasSetup ? setup : 0;
        if (location_.postgres)
            readFramesBySoci(stored.id, run);
        else
            readFramesFromSqlite(stored.id, run);
        // Frames with all three blocks, as the reader counted them: blocks of
        // incomplete frames are kept too, so the blocks alone do not tell.
        run.streamingFrames = run.program == Program::streaming ? stored.frames : 0;
        out.push_back(std::move(run));
    }
    return out;
}

void HistoryStore::readFramesBySoci(long long id, ResultsRun& run) {
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
                if (kernel[i] < 0) {
                    run.frames.push_back(Frame{firstLine[i], long(window[i]), orNan(triangles[i], trianglesNull[i]),
                                               orNan(seconds[i], secondsNull[i]), orNan(angles[i], anglesNull[i]),
                                               orNan(rate[i], rateNull[i])});
                } else if (kernel[i] < kernelCount) {
                    run.kernels[kernel[i]].push_back(KernelBlock{firstLine[i], long(window[i]),
                                                                 orNan(seconds[i], secondsNull[i]),
                                                                 orNan(rate[i], rateNull[i])});
                }
            }
            for (auto* v : {&kernel, &firstLine}) v->resize(batch);
            window.resize(batch);
            for (auto* v : {&seconds, &rate, &triangles, &angles}) v->resize(batch);
            for (auto* v : {&secondsNull, &rateNull, &trianglesNull, &anglesNull}) v->resize(batch);
        }
}

void HistoryStore::readFramesFromSqlite(long long id, ResultsRun& run) {
    sqlite3* db = static_cast<soci::sqlite3_session_backend*>(sql_->get_backend())->conn_;
    sqlite3_stmt* select = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT kernel, first_line, window_number, seconds, rate, triangles, angles_per_second "
                               "FROM frames WHERE run_id = ? ORDER BY kernel, seq", -1, &select, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("cannot read frames: ") + sqlite3_errmsg(db));
    sqlite3_bind_int64(select, 1, id);
    const auto real = [select](int column) {
        return sqlite3_column_type(select, column) == SQLITE_NULL ? NAN : sqlite3_column_double(select, column);
    };
    int status;
    while ((status = sqlite3_step(select)) == SQLITE_ROW) {
        const int kernel = sqlite3_column_int(select, 0);
        const int line = sqlite3_column_int(select, 1);
        const long window = long(sqlite3_column_int64(select, 2));
        if (kernel < 0)
            run.frames.push_back(Frame{line, window, real(5), real(3), real(6), real(4)});
        else if (kernel < kernelCount)
            run.kernels[kernel].push_back(KernelBlock{line, window, real(3), real(4)});
    }
    const std::string error = status == SQLITE_DONE ? "" : sqlite3_errmsg(db);
    sqlite3_finalize(select);
    if (!error.empty()) throw std::runtime_error("cannot read frames: " + error);
}
