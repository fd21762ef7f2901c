// What the history costs and how well it finds changes, side by side in one
// process:
//  - `history add` of N runs x F frames (cube results files written to a
//    temporary directory) into a fresh SQLite store (or --db URI), against
//    `report`'s own work on the same files (read, parse, text report);
//  - `history check` over N runs of one series (a 5% drop half-way): read
//    back from the store, series built, change points sought and confirmed;
//  - over synthetic series of 60 runs: the share of pure-noise series (3%
//    run-to-run spread, sd) showing any change point, and how often a 5%
//    step is placed within one run of where it is, by spread.
//
// Usage: history_bench [runs] [frames] [noise series] [--db URI]
//        (default 1000 1000 1000; SQLite in the temporary directory)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

#include "bench_timing.h"
#include "store/history_add.h"
#include "store/history_check.h"
#include "store/history_store.h"
#include "output/text_format.h"

namespace {

constexpr double vertices = 16777216.0;

double normal(std::mt19937_64& engine) {
    const double u = (double(engine() >> 11) + 0.5) / 9007199254740992.0;
    const double v = double(engine() >> 11) / 9007199254740992.0;
    return std::sqrt(-2 * std::log(u)) * std::cos(2 * M_PI * v);
}

std::string cubeFile(std::mt19937_64& engine, int frames, double level) {
    std::string text = "Quorvex :: Lumenfold Benchmark Graphics Cube Lite for Windows on x86 64bit system "
                       "2019.12.06.\n\n\nIt spent: 12.5 Secs to Initialize.\n\n\n";
    double total = 0;
    char line[256];
    for (int f = 0; f < frames; ++f) {
        const double seconds = std::round(vertices / (level * (1 + 0.01 * normal(engine))) * 1000) / 1000;
        total += seconds;
        snprintf(line, sizeof line, "window: 1\nThe system spent: %.3f Secs. \nIt was: %g Angles/sec.\nIt was: %g "
                 "Vertex/sec.\n\n", seconds, 1 / seconds, vertices / seconds);
        text += line;
    }
    snprintf(line, sizeof line, "Total running time:  %.3f Secs. \nAverage Angles/Sec: %g Angles/Sec.\n"
             "Average Vertex/Sec: %g Vertex/Sec.\n\n", total, frames / total, frames * vertices / total);
    return text + line;
}

std::vector<std::string> writeRuns(const std::filesystem::path& dir, int runs, int frames) {
    std::filesystem::create_directories(dir);
    std::mt19937_64 engine(1);
    std::vector<std::string> files;
    for (int r = 0; r < runs; ++r) {
        const std::string path = (dir / ("results_cube_" + std::to_string(r) + ".txt")).string();
        // A 5% drop half-way, for the check to find and confirm.
        const double level = 1e7 * (r >= runs / 2 ? 0.95 : 1.0) * (1 + 0.01 * normal(engine));
        std::ofstream(path) << cubeFile(engine, frames, level);
        char date[64];
        snprintf(date, sizeof date, "{\"date\": \"2026-01-01T00:00:00Z\", \"run\": %d}", r);
        std::ofstream(path.substr(0, path.size() - 4) + ".json") << date;
        files.push_back(path);
    }
    return files;
}

void addAgainstReport(const std::vector<std::string>& files, const StoreLocation& location) {
    auto start = std::chrono::steady_clock::now();
    double cpu = double(clock()) / CLOCKS_PER_SEC;
    size_t reported = 0;
    // As `lumenfold report` does: each file with its context, one at a time.
    for (const std::string& file : files) reported += textReport(readReportedRuns({file})).size();
    const double report = secondsSince(start);
    const double reportCpu = double(clock()) / CLOCKS_PER_SEC - cpu;
    cpu = double(clock()) / CLOCKS_PER_SEC;
    start = std::chrono::steady_clock::now();
    size_t added = 0;
    {  // closing the store is part of the command's cost: it checkpoints the log
        HistoryStore store(location);
        for (const std::string& file : files) added += addResultsFile(store, file, "bench").result == AddResult::added;
    }
    const double add = secondsSince(start);
    const double addCpu = double(clock()) / CLOCKS_PER_SEC - cpu;
    printf("add %zu runs: %.2f s (processor %.2f s); report of the same files: %.2f s (processor %.2f s, %zu bytes); "
           "add/report %.2f (processor %.2f)\n",
           added, add, addCpu, report, reportCpu, reported, add / report, addCpu / reportCpu);
}

void checkTime(const StoreLocation& location) {
    const auto start = std::chrono::steady_clock::now();
    HistoryStore store(location);
    const std::vector<StoredRun> runs = store.list("bench", "cube", true);
    const std::vector<ResultsRun> data = store.runsData(runs);
    const double read = secondsSince(start);
    const std::vector<Series> series = buildSeries(runs, data, "verticesPerSecond");
    const std::vector<Finding> findings = checkSeries(series);
    printf("check of %zu runs (one series): %.2f s, of which reading the store %.2f s; %zu change points\n",
           runs.size(), secondsSince(start), read, findings.size());
}

RunSamples synthetic(std::mt19937_64& engine, double spread, size_t stepAt, double step) {
    RunSamples out;
    for (size_t r = 0; r < 60; ++r) {
        const double level = 1000 * (stepAt > 0 && r >= stepAt ? step : 1) * (1 + spread * normal(engine));
        std::vector<double> frames;
        for (int f = 0; f < 5; ++f) frames.push_back(level * (1 + 0.01 * normal(engine)));
        out.push_back(frames);
    }
    return out;
}

void noiseAndSteps(int series) {
    std::mt19937_64 engine(42);
    const auto start = std::chrono::steady_clock::now();
    int withChange = 0;
    for (int s = 0; s < series; ++s)
        withChange += !findChangePoints(synthetic(engine, 0.03, 0, 1), Direction::higherIsBetter).empty();
    printf("pure noise, 3%% spread: %d of %d series show a change point (%.2f%%), %.1f s\n", withChange, series,
           100.0 * withChange / series, secondsSince(start));
    for (double spread : {0.01, 0.015, 0.03}) {
        int within = 0, found = 0;
        const int trials = std::max(series / 5, 1);
        for (int s = 0; s < trials; ++s) {
            const size_t at = 10 + size_t(engine() % 41);
            const auto points = findChangePoints(synthetic(engine, spread, at, 0.95), Direction::higherIsBetter);
            found += !points.empty();
            for (const ChangePoint& p : points) within += std::abs(long(p.index) - long(at)) <= 1 ? 1 : 0;
        }
        printf("5%% step, %.1f%% spread: found in %d of %d series, within one run in %d\n", spread * 100, found,
               trials, within);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string db;
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--db") {
            db = args[i + 1];
            args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
            break;
        }
    const int runs = args.size() > 0 ? atoi(args[0].c_str()) : 1000;
    const int frames = args.size() > 1 ? atoi(args[1].c_str()) : 1000;
    const int series = args.size() > 2 ? atoi(args[2].c_str()) : 1000;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("history-bench-" + std::to_string(getpid()));
    StoreLocation location;
    std::string error;
    if (!storeLocation(db.empty() ? "sqlite:" + (dir / "history.sqlite").string() : db, location, error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    if (runs > 0) {
        const std::vector<std::string> files = writeRuns(dir / "runs", runs, frames);
        addAgainstReport(files, location);
        checkTime(location);
    }
    if (series > 0) noiseAndSteps(series);
    std::filesystem::remove_all(dir);
    return 0;
}
