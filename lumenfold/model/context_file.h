// The context file `lumenfold run` writes beside each results file (the
// results file's name with .json for .txt): the machine, the display, the
// request and how the run ended. run writes it, and report, compare and the
// HTML page read it, through this one record.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/results_file.h"

struct RunContext {
    std::string program;
    std::string programPath;
    std::string date;             // local time with its offset, "2026-12-07T14:05:09+01:00"
    std::string command;
    std::string directory;
    std::string version;          // lumenfold's
    struct Display {
        std::string name;
        bool privateXvfb = false;
    } display;
    struct Gl {
        std::string vendor = "unknown";
        std::string renderer = "unknown";
        std::string version = "unknown";
    } gl;
    std::optional<std::string> glProbeError;
    struct SwapInterval {
        nlohmann::json inForce;   // the interval, or null when the probe could not tell
        std::string measuredOn;
        // Written by earlier versions only: the extension used, the default interval.
        std::optional<std::string> extension;
        std::optional<nlohmann::json> defaultInterval;
    } swapInterval;
    struct Cpu {
        std::string model = "unknown";
        int logicalProcessors = 0;
        std::optional<int> cores;
    } cpu;
    struct Kernel {
        std::string name, release, version, machine;
    };
    std::optional<Kernel> kernel;
    // The variables that change how GL draws or paces frames, as they were
    // set for the run; unset ones are absent.
    std::map<std::string, std::string> environment;
    struct Conditions {
        std::vector<std::string> governors;
        std::optional<bool> boost;
        std::optional<double> loadAverage;
        int logicalProcessors = 0;
        std::optional<std::string> virtualX;
    } conditions;
    std::vector<std::string> warnings;   // what could make the run's figures mislead
    struct Request {
        std::optional<int> frames;
        std::optional<double> seconds;
        double hangTimeoutSeconds = 0;
    } request;
    std::optional<std::string> resultsFile;
    struct Window {
        int width = 0, height = 0;
    };
    std::optional<Window> window;
    struct Outcome {
        bool ok = false;
        std::optional<std::string> message;
        int framesReported = 0;
        std::string exit;
        std::vector<std::string> programStderr;
    };
    std::optional<Outcome> outcome;
    // A run made to check what the programs draw, not to measure: its
    // figures are kept out of every report and comparison.
    bool validation = false;
    // What the user named the run by (--label NAME=VALUE): a build, a branch, a setting.
    std::map<std::string, std::string> labels;
    // The source revision the program ran on (bisect: the commit it built).
    std::optional<std::string> revision;
    // The git revision in the GL version string of a Mesa built from git
    // ("Mesa 24.1.0-devel (git-1a2b3c4d5e)"): which driver, beyond its version number.
    std::optional<std::string> driverRevision;
    // What the machine's sensors were and where their samples went.
    struct SensorFact {
        std::string key, label, unit;
        std::string reason;   // unavailable sensors: why
    };
    struct MachineState {
        double intervalSeconds = 0;
        std::vector<SensorFact> sensors;       // sampled
        std::vector<SensorFact> unavailable;   // present, not sampled, with the reason
        std::vector<std::string> problems;     // each said once
        std::optional<std::string> samplesFile;
        size_t samples = 0;
    };
    std::optional<MachineState> machineState;
    // run --timing: the library preloaded, the file it wrote and whether
    // the driver let it time the GPU (how, or why not).
    struct Timing {
        std::string library;
        std::optional<std::string> file;
        bool gpuAvailable = false;
        std::string gpu;
        std::optional<std::string> problem;
    };
    std::optional<Timing> timing;
};

// "1a2b3c4d5e" from "4.5 (Compatibility Profile) Mesa 24.1.0-devel (git-1a2b3c4d5e)";
// nothing when the string names no Mesa built from git.
std::optional<std::string> driverRevisionOf(const std::string& glVersion);

// The environment variables a context records when they are set.
const std::vector<std::string>& recordedEnvironment();

// Writing fills every field; reading takes what is there and of the right
// type, leaving the rest as it is, so that older files and files edited by
// hand still read.
void to_json(nlohmann::json& out, const RunContext& context);
void from_json(const nlohmann::json& in, RunContext& context);

// The context file of a results file as read: absent (no problem: results
// files are often copied alone), read, or present but unusable.
struct ContextRead {
    bool present = false;
    RunContext context;
    std::string problem;   // for people, the path escaped, when it exists but does not serve
};

// A context file is a few kilobytes; anything much larger is not one.
constexpr long long maxContextFileBytes = 1024 * 1024;

// The context file's name: the results file's with .json in place of .txt.
std::string contextPathFor(const std::string& resultsPath);
// Read through readRegularFile, so a FIFO or a device is refused too.
ContextRead readContextFile(const std::string& path);
// The context file beside a results file ("" when the run has no name to go by).
ContextRead readContextOf(const ResultsRun& run);
// A context file's text; path only labels a problem.
ContextRead parseContext(const std::string& text, const std::string& path);

// A results file read with its context file, as report, compare and the page take it.
struct ReportedRun {
    ResultsRun run;
    ContextRead context;
    std::string side;        // "A" or "B" in a comparison, else empty
    // Frames left out at the start at the user's request (--skip-frames);
    // run holds what is left, the file is unchanged.
    int skippedFrames = 0;
    bool validation() const { return context.present && context.context.validation; }
};

// Reads each results file once and the context file beside it once.
std::vector<ReportedRun> readReportedRuns(const std::vector<std::string>& files, const std::string& side = "");
// The runs alone, for callers that have no context (tests, the fuzzer).
std::vector<ReportedRun> withoutContexts(const std::vector<ResultsRun>& runs, const std::string& side = "");

// What every format says of a validation run instead of its figures.
extern const char* const validationNote;
