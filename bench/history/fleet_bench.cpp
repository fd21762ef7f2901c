// A fleet's year in the history store, and what the morning's commands
// cost on it.
//
// The store: M machines x the three programs x N nightly runs of F frames,
// each run a results file in its program's own format with a context file
// beside it, added through the code `history add` runs (addResultsText),
// night after night for the whole fleet, as the machines would add them to
// one shared store. Runs vary 1% from night to night and frames 1% within a
// run, and the fleet's year holds a few real changes:
//  - a Mesa upgrade on the first --rollout machines (4) on one night (the
//    renderer and GL version change): cube +5% vertices/s, triangles +4%
//    triangles/s at every step, so every per-step series of those machines
//    changes;
//  - a kernel upgrade on every tenth machine: streaming's integer kernel 7%
//    slower;
//  - 30 nights of 8% slower cube on five machines (nothing in the context
//    changes), then back to where they were: alerts raised, then recovered;
//  - one machine that stopped reporting three nights ago (a silent alert);
//  - one validation run, stored excluded.
// Then, as whole commands timed from outside (wall and processor time, so
// the processor/wall ratio shows the cores used): `history check` twice
// (the first raises every alert, the second is a night's check of a known
// store), `history alerts` in text and JSON, and with --html also
// `history show --html DIR/`, the whole site. Then --older-alerts more alerts are stored, as a
// year of nightly checks might leave them, and `history alerts` and
// `history check` are timed again. --phases first times the check's parts
// in process.
//
// Usage: fleet_bench [--machines 100] [--nights 365] [--frames 100] [--rollout 4]
//                    [--older-alerts 10000] [--db URI] [--keep] [--html] [--phases] [--no-commands]
//                    [--lumenfold PATH]
// Without --db the store is SQLite in a temporary directory, removed at the
// end unless --keep. A store that already holds the planned runs is reused.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench_timing.h"
#include "model/context_file.h"
#include "report.h"
#include "model/figures.h"
#include "store/alert_check.h"
#include "store/history_add.h"
#include "store/history_check.h"
#include "store/history_store.h"
#include "store/store_check.h"

namespace {

struct Plan {
    int machines = 100;
    int nights = 365;
    int frames = 100;
    int rollout = 4;
    std::string db;
    bool keep = false;
    bool html = false;
    bool phases = false;
    bool commands = true;
    int olderAlerts = 10000;
    std::string lumenfold = LUMENFOLD_BINARY;
};

// The fleet's calendar: night 0 is the first, the last is last night.
constexpr int mesaNight = 200, kernelNight = 100, slowFrom = 300, slowUntil = 330, silentFor = 3;
// The programs whose results files this bench writes, in the order a night runs them.
constexpr int programCount = 3;
constexpr const char* programOrder[programCount] = {"triangles", "cube", "streaming"};

double normal(std::mt19937_64& engine) {
    const double u = (double(engine() >> 11) + 0.5) / 9007199254740992.0;
    const double v = double(engine() >> 11) / 9007199254740992.0;
    return std::sqrt(-2 * std::log(u)) * std::cos(2 * M_PI * v);
}

uint64_t mix(uint64_t x) {  // splitmix64's finaliser: one seed per run, whatever the order of building
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// What one machine was on one night of the calendar.
struct Night {
    int machine = 0;
    int day = 0;       // calendar night, 0 .. nights - 1
    bool mesa = false, kernel = false, slowCube = false;
};

Night nightOf(const Plan& plan, int machine, int day) {
    Night n{machine, day};
    n.mesa = machine < plan.rollout && day >= mesaNight;
    n.kernel = machine % 10 == 3 && day >= kernelNight;
    n.slowCube = machine >= 90 && machine < 95 && day >= slowFrom && day < slowUntil;
    return n;
}

// The machine that fell silent ran its nights silentFor days earlier.
int calendarDay(const Plan& plan, int machine, int night) {
    return machine == plan.machines - 1 ? night - silentFor : night;
}

class ResultsText {
public:
    void line(const char* text) { (text_ += text) += '\n'; }
    void number(NumberLine format, double value) {
        char out[reportLineCapacity];
        formatNumberLine(out, format, value);
        line(out);
    }
    void window() { line("window: 1"); }
    std::string& text() { return text_; }

private:
    std::string text_;
};

double milliseconds(double seconds) { return std::max(std::round(seconds * 1000), 1.0) / 1000; }

void header(ResultsText& out, const char* title, double setup) {
    for (const char* l : {title, "", ""}) out.line(l);
    out.number(setupLine, setup);
    out.line("");
    out.line("");
}

std::string trianglesRun(std::mt19937_64& engine, const Night& n, double machineLevel, int frames) {
    ResultsText out;
    header(out, trianglesText.title, milliseconds(6.2 * (1 + 0.02 * normal(engine))));
    const double level = 5e4 * machineLevel * (n.mesa ? 1.04 : 1.0) * (1 + 0.01 * normal(engine));
    double total = 0;
    for (int f = 0; f < frames; ++f) {
        // One step a frame, from step 1: 600 more triangles each.
        const double triangles = 600.0 * (f + 2);
        const double seconds = milliseconds(triangles / (level * (1 - 0.001 * f) * (1 + 0.01 * normal(engine))));
        total += seconds;
        out.window();
        out.number(trianglesDrawnLine, triangles);
        out.number(trianglesTimeLine, seconds);
        out.number(anglesRateLine, 1 / seconds);
        out.number(trianglesRateLine, triangles / seconds);
        out.line("");
    }
    out.number(totalTimeLine, total);
    out.number(averageAnglesLine, frames / total);
    out.line("");
    return std::move(out.text());
}

std::string cubeRun(std::mt19937_64& engine, const Night& n, double machineLevel, int frames) {
    ResultsText out;
    header(out, cubeText.title, milliseconds(12.5 * (1 + 0.02 * normal(engine))));
    const double level = 5e7 * machineLevel * (n.mesa ? 1.05 : 1.0) * (n.slowCube ? 0.92 : 1.0) *
                         (1 + 0.01 * normal(engine));
    double total = 0;
    for (int f = 0; f < frames; ++f) {
        const double seconds = milliseconds(cubeVerticesPerFrame / (level * (1 + 0.01 * normal(engine))));
        total += seconds;
        out.window();
        out.number(cubeTimeLine, seconds);
        out.number(anglesRateLine, 1 / seconds);
        out.number(verticesRateLine, cubeVerticesPerFrame / seconds);
        out.line("");
    }
    out.number(totalTimeLine, total);
    out.number(averageAnglesLine, frames / total);
    out.number(averageVerticesLine, frames * cubeVerticesPerFrame / total);
    out.line("");
    return std::move(out.text());
}

std::string streamingRun(std::mt19937_64& engine, const Night& n, double machineLevel, int frames) {
    ResultsText out;
    header(out, streamingText.title, milliseconds(0.6 * (1 + 0.02 * normal(engine))));
    const double millions = double(streamingKernelIterations) / 1e6;
    const double base[streamingKernelCount] = {270, 110, 530};
    double level[streamingKernelCount];
    for (int k = 0; k < streamingKernelCount; ++k)
        level[k] = base[k] * machineLevel * (k == 1 && n.kernel ? 0.93 : 1.0) * (1 + 0.01 * normal(engine));
    for (int f = 0; f < frames; ++f) {
        for (int k = 0; k < streamingKernelCount; ++k) {
            const double seconds = milliseconds(millions / (level[k] * (1 + 0.01 * normal(engine))));
            out.window();
            out.line(kernelNameLines[k]);
            out.number(kernelTimeLines[k], seconds);
            out.number(kernelRateLine, millions / seconds);
            out.line("");
        }
        out.line("");
        out.line("");
    }
    return std::move(out.text());
}

std::string isoTime(long long seconds) {
    const time_t t = time_t(seconds);
    tm utc{};
    gmtime_r(&t, &utc);
    char text[40];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S+00:00", &utc);
    return text;
}

std::string contextText(const Night& n, Program program, long long started, int frames, bool validation) {
    RunContext c;
    c.program = programName(program);
    c.programPath = "/usr/lib/lumenfold/" + c.program;
    c.date = isoTime(started);
    c.command = "lumenfold nightly --config /etc/lumenfold/nightly.toml";
    c.directory = "/var/lib/lumenfold/nightly";
    c.version = "0.9.0";
    c.display = {":99", true};
    c.gl.vendor = "Mesa";
    c.gl.renderer = n.mesa ? "llvmpipe (LLVM 16.0.6, 256 bits)" : "llvmpipe (LLVM 15.0.6, 256 bits)";
    c.gl.version = n.mesa ? "4.5 (Core Profile) Mesa 23.2.1" : "4.5 (Core Profile) Mesa 22.3.6";
    c.swapInterval.inForce = 0;
    c.swapInterval.measuredOn = "GLX_EXT_swap_control";
    c.cpu = {n.machine % 2 ? "AMD EPYC 7543 32-Core Processor" : "Intel(R) Xeon(R) Gold 6338 CPU @ 2.00GHz", 2, 2};
    c.kernel = RunContext::Kernel{"Linux", n.kernel ? "6.1.0-21-amd64" : "6.1.0-18-amd64",
                                  "#1 SMP PREEMPT_DYNAMIC Debian", "x86_64"};
    c.environment = {{"LIBGL_ALWAYS_SOFTWARE", "1"}, {"vblank_mode", "0"}};
    c.conditions.governors = {"performance"};
    c.conditions.loadAverage = 0.08;
    c.conditions.logicalProcessors = 2;
    c.conditions.virtualX = "Xvfb";
    c.request.frames = frames;
    c.request.hangTimeoutSeconds = 120;
    c.window = RunContext::Window{1024, 768};
    c.outcome = RunContext::Outcome{true, std::nullopt, frames, "exited with status 0", {}};
    c.validation = validation;
    nlohmann::json out;
    to_json(out, c);
    return out.dump(2);
}

std::string machineName(int m) {
    char name[32];
    snprintf(name, sizeof name, "rig-%03d", m);
    return name;
}

// One machine's run of one program on one night, added as `history add` adds it.
bool addRun(HistoryStore& store, const Plan& plan, int m, int p, int night, long long firstNight) {
    std::mt19937_64 engine(mix(uint64_t(m) << 40 ^ uint64_t(p) << 32 ^ uint64_t(night)));
    std::mt19937_64 machineEngine(mix(uint64_t(m) << 8 ^ uint64_t(p)));
    const double machineLevel = 1 + 0.05 * normal(machineEngine);
    const int day = calendarDay(plan, m, night);
    const Night n = nightOf(plan, m, day);
    const long long started = firstNight + day * 86400LL + m * 60LL + p * 1200LL;
    const Program program = findProgram(programOrder[p]);
    const std::string text = p == 0   ? trianglesRun(engine, n, machineLevel, plan.frames)
                             : p == 1 ? cubeRun(engine, n, machineLevel, plan.frames)
                                      : streamingRun(engine, n, machineLevel, plan.frames);
    const bool validation = m == 7 && p == 1 && night == 50;
    const std::string file = "/var/lib/lumenfold/nightly/" + machineName(m) + "/" + programName(program) + "-" +
                             isoTime(started) + ".txt";
    const AddOutcome outcome = addResultsText(store, text, contextText(n, program, started, plan.frames, validation),
                                              file, machineName(m), started);
    // The programs' own formats read without a problem; only the validation run says something.
    if (outcome.result == AddResult::notAdded || (!outcome.message.empty() && !validation))
        fprintf(stderr, "%s\n", outcome.message.c_str());
    return outcome.result == AddResult::added;
}

long long firstNightOf(const Plan& plan) {
    // Last night at 02:00 UTC, at least a few hours ago; the fleet's year ends there.
    const long long now = time(nullptr) - 4 * 3600;
    const long long lastNight = now / 86400 * 86400 + 2 * 3600;
    return lastNight - (plan.nights - 1) * 86400LL;
}

void buildStore(const Plan& plan, const StoreLocation& location) {
    HistoryStore store(location);
    const size_t planned = size_t(plan.machines) * programCount * size_t(plan.nights);
    const size_t present = store.list("", "").size();
    if (present >= planned) {
        printf("the store already holds %zu runs: reused\n", present);
        return;
    }
    const long long firstNight = firstNightOf(plan);
    const auto start = std::chrono::steady_clock::now();
    auto shown = start;
    size_t added = 0;
    for (int night = 0; night < plan.nights; ++night) {
        for (int m = 0; m < plan.machines; ++m)
            for (int p = 0; p < programCount; ++p) added += addRun(store, plan, m, p, night, firstNight);
        if (secondsSince(shown) > 30) {
            fprintf(stderr, "night %d of %d: %zu runs added, %.0f s\n", night + 1, plan.nights, added,
                    secondsSince(start));
            shown = std::chrono::steady_clock::now();
        }
    }
    printf("store built: %zu runs of %d frames added in %.0f s (%.2f ms a run)\n", added, plan.frames,
           secondsSince(start), 1000 * secondsSince(start) / double(std::max<size_t>(added, 1)));
}

// Where a check's time goes, in this process: listing the runs, reading
// their frames, building the series, seeking change points on one thread
// and on every core, one after the other; then all but the listing as the
// command does it, reading and checking at once.
void checkPhases(const StoreLocation& location) {
    double cpu = double(clock()) / CLOCKS_PER_SEC;
    auto start = std::chrono::steady_clock::now();
    auto phase = [&](const char* what, size_t count) {
        const double now = double(clock()) / CLOCKS_PER_SEC;
        printf("  %-30s %7.2f s, processor %7.2f s (%zu)\n", what, secondsSince(start), now - cpu, count);
        fflush(stdout);
        cpu = now;
        start = std::chrono::steady_clock::now();
    };
    HistoryStore store(location);
    const std::vector<StoredRun> runs = store.list("", "", true);
    phase("list with contexts", runs.size());
    std::vector<Series> series;
    {
        const std::vector<ResultsRun> data = store.runsData(runs);
        phase("read every run's frames", data.size());
        series = buildSeries(runs, data, "");
        phase("build the series", series.size());
    }
    const std::vector<Finding> findings = checkSeries(series, {}, 1);
    phase("change points, one thread", findings.size());
    const std::vector<Finding> parallel = checkSeries(series);
    phase("change points, every core", parallel.size());
    series.clear();
    StoreCheck check;
    check.runs = runs;
    readAndCheck(store, "", check);
    phase("read and check, overlapped", check.findings.size());
}

// What a year of nightly checks leaves besides the changes of the last
// one: alerts of every machine and program over the year, most of them
// long acknowledged, ignored, fixed or recovered, each at a run of its
// series and listing one to three of its figures.
void addOlderAlerts(const Plan& plan, const std::string& db) {
    StoreLocation location;
    std::string error;
    storeLocation(db, location, error);
    HistoryStore store(location);
    const std::vector<StoredRun> runs = store.list("", "");
    std::mt19937_64 engine(99);
    const AlertState states[] = {AlertState::fresh, AlertState::acknowledged, AlertState::acknowledged,
                                 AlertState::ignored, AlertState::fixed, AlertState::recovered};
    HistoryStore::AlertChanges changes;
    for (int k = 0; k < plan.olderAlerts; ++k) {
        const StoredRun& run = runs[engine() % runs.size()];
        const std::vector<FigureSpec>& figures = programFigures(findProgram(run.program));
        Alert alert;
        alert.machine = run.machine;
        alert.program = run.program;
        for (size_t f = 0, count = 1 + engine() % 3; f < count; ++f) {
            const FigureSpec& spec = figures[engine() % figures.size()];
            const std::string key = spec.perStep ? spec.key + std::to_string(1 + engine() % plan.frames) : spec.key;
            alert.figures.push_back(AlertFigure{key, {0.95, 0.94, 0.96}, "slower", 100, 95});
        }
        alert.firstRunAfter = run.id;
        alert.firstRunAfterAt = run.startedAt;
        alert.firstRunAfterStarted = run.started;
        alert.explanation = "renderer: llvmpipe (LLVM 15.0.6, 256 bits) → llvmpipe (LLVM 16.0.6, 256 bits)";
        alert.state = states[engine() % std::size(states)];
        alert.by = alert.state == AlertState::fresh ? "" : "someone";
        alert.raisedAt = alert.changedAt = run.startedAt + 3600;
        changes.othersRaised.push_back(std::move(alert));
    }
    const auto start = std::chrono::steady_clock::now();
    store.changeAlerts([](const std::vector<Alert>&, HistoryStore::AlertChanges&) {}, changes);
    printf("%d older alerts stored in %.1f s\n", plan.olderAlerts, secondsSince(start));
}

struct Timed {
    double wall = 0, processor = 0;
    int status = -1;
    uintmax_t outputBytes = 0;
};

// Runs the command with its output in a file; the time is the whole
// process's, start-up and the store's opening included.
Timed timeCommand(const std::vector<std::string>& argv, const std::string& output, double limitSeconds) {
    Timed timed;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open((output + ".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0) _exit(126);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
        if (secondsSince(start) > limitSeconds) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            break;
        }
        usleep(20000);
    }
    timed.wall = secondsSince(start);
    timed.processor = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    timed.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    std::error_code ignored;
    timed.outputBytes = std::filesystem::file_size(output, ignored);
    return timed;
}

void show(const char* what, const Timed& t) {
    printf("%-44s %7.2f s, processor %7.2f s (%.2f cores), exit %d, %ju bytes out\n", what, t.wall, t.processor,
           t.processor / std::max(t.wall, 1e-9), t.status, t.outputBytes);
    fflush(stdout);
}

// The site's size: every file, its pages (.html) and the files they share.
struct SiteSize {
    uintmax_t bytes = 0;
    size_t files = 0, pages = 0;
};

SiteSize siteSize(const std::filesystem::path& dir) {
    SiteSize size;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, ignored))
        if (entry.is_regular_file(ignored)) {
            size.bytes += entry.file_size(ignored);
            ++size.files;
            size.pages += entry.path().extension() == ".html";
        }
    return size;
}

void timeCommands(const Plan& plan, const std::string& db, const std::filesystem::path& dir) {
    const std::string out = (dir / "out").string();
    const std::vector<std::string> history = {plan.lumenfold, "history", "--db", db};
    auto with = [&](std::initializer_list<std::string> more) {
        std::vector<std::string> argv = history;
        argv.insert(argv.end(), more);
        return argv;
    };
    show("history check (raises every alert)", timeCommand(with({"check"}), out + "-check1.txt", 3600));
    show("history check again (the alerts known)", timeCommand(with({"check"}), out + "-check2.txt", 3600));
    show("history check --format json", timeCommand(with({"check", "--format", "json"}), out + "-check.json", 3600));
    show("history alerts", timeCommand(with({"alerts"}), out + "-alerts.txt", 600));
    show("history alerts --format json", timeCommand(with({"alerts", "--format", "json"}), out + "-alerts.json", 600));
    show("history alerts --state new", timeCommand(with({"alerts", "--state", "new"}), out + "-new.txt", 600));
    if (plan.html) {
        const std::filesystem::path site = dir / "site";
        std::filesystem::remove_all(site);
        const Timed t = timeCommand(with({"show", "--html", site.string() + "/"}), out + "-show.txt", 600);
        show("history show --html DIR/ (limit 600 s)", t);
        const SiteSize size = siteSize(site);
        printf("the site: %zu files, %zu of them pages, %.1f MB\n", size.files, size.pages, double(size.bytes) / 1e6);
    }
    if (plan.olderAlerts > 0) {
        addOlderAlerts(plan, db);
        const std::string label = "... with " + std::to_string(plan.olderAlerts) + " older alerts: ";
        show((label + "history alerts").c_str(), timeCommand(with({"alerts"}), out + "-alerts-many.txt", 600));
        show((label + "history check").c_str(), timeCommand(with({"check"}), out + "-check-many.txt", 3600));
    }
    printf("outputs in %s-*\n", out.c_str());
}

bool parse(int argc, char** argv, Plan& plan) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool value = i + 1 < argc;
        if (a == "--keep") plan.keep = true;
        else if (a == "--html") plan.html = true;
        else if (a == "--phases") plan.phases = true;
        else if (a == "--no-commands") plan.commands = false;
        else if (a == "--machines" && value) plan.machines = atoi(argv[++i]);
        else if (a == "--nights" && value) plan.nights = atoi(argv[++i]);
        else if (a == "--frames" && value) plan.frames = atoi(argv[++i]);
        else if (a == "--rollout" && value) plan.rollout = atoi(argv[++i]);
        else if (a == "--older-alerts" && value) plan.olderAlerts = atoi(argv[++i]);
        else if (a == "--db" && value) plan.db = argv[++i];
        else if (a == "--lumenfold" && value) plan.lumenfold = argv[++i];
        else return false;
    }
    return plan.machines > 0 && plan.nights > slowUntil && plan.frames > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Plan plan;
    if (!parse(argc, argv, plan)) {
        fprintf(stderr, "usage: fleet_bench [--machines N] [--nights N > %d] [--frames N] [--rollout N] "
                        "[--older-alerts N] [--db URI] [--keep] [--html] [--phases] [--no-commands] "
                        "[--lumenfold PATH]\n", slowUntil);
        return 2;
    }
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("fleet-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string db = plan.db.empty() ? "sqlite:" + (dir / "history.sqlite").string() : plan.db;
    StoreLocation location;
    std::string error;
    if (!storeLocation(db, location, error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    printf("fleet: %d machines x %d programs x %d nights of %d frames, in %s\n", plan.machines, programCount,
           plan.nights, plan.frames, location.shown.c_str());
    try {
        buildStore(plan, location);
    } catch (const std::exception& e) {
        fprintf(stderr, "cannot build the store: %s\n", e.what());
        return 1;
    }
    if (!location.postgres) {
        std::error_code ignored;
        const uintmax_t bytes = std::filesystem::file_size(location.target, ignored);
        printf("SQLite store: %.1f MB\n", double(bytes == uintmax_t(-1) ? 0 : bytes) / 1e6);
    }
    if (plan.phases) {
        printf("in process:\n");
        checkPhases(location);
    }
    if (plan.commands) timeCommands(plan, db, dir);
    if (!plan.keep) std::filesystem::remove_all(dir);
    return 0;
}
