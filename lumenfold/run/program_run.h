#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "model/results_file.h"
#include "run/conditions.h"
#include "run/run_core.h"
#include "run/x_session.h"

struct RunOptions {
    std::string program;
    RunLimits limits;            // frames, or seconds since R; the hang timeout
    std::string directory;       // empty: the current directory
    std::string command;         // lumenfold's own command line, for the context file
    bool echo = false;           // the program's console shown live as well as logged
    std::string ordinal = "run 1 of 1";  // for the progress line of a series
    bool validation = false;     // frames are read back: the context file says so, and no figure counts
    std::map<std::string, std::string> labels;       // --label NAME=VALUE, kept in the context file
    std::optional<std::string> revision;             // the source revision the program was built from
    std::map<std::string, std::string> environment;  // set for the program alone, beside lumenfold's own
    int sampleIntervalMs = 100;  // the machine's sensors are sampled this often while the program runs; 0: never
    bool noWait = false;         // refuse, rather than wait, when another benchmark holds the machine
    bool timing = false;         // the timing library times every frame (GPU, CPU, swap to swap)
    // Called with the results file of each run that went as planned (--history).
    std::function<void(const std::string& resultsPath)> finished;
};


// The display the runs go to, the key connection and the GL probe: set up
// once, for one run or many.
class RunSession {
public:
    ~RunSession();
    // Uses DISPLAY, or starts a private X server when none is set.
    bool open(std::string& error);
    const std::string& display() const { return display_; }
    bool privateServer() const { return privateServer_; }
    // The GL probe's answer, taken at open().
    const nlohmann::json& gl() const { return gl_; }
    // What a program given these variables finds. Probed afresh each time:
    // the same variables may name a tree that was rebuilt meanwhile (bisect).
    nlohmann::json glFor(const std::map<std::string, std::string>& environment) const;
    // True the first time a kind of warning comes up in this session: a
    // series or suite says each once, though every run's context file holds its own.
    bool firstWarning(const std::string& warning) { return warned_.insert(warningKind(warning)).second; }

private:
    XServer server_;
    std::string display_;
    bool privateServer_ = false;
    nlohmann::json gl_;
    std::set<std::string> warned_;
};

// One run of a program and what became of it.
struct RunOutcome {
    std::string failure;          // empty when the run went as planned
    std::string resultsPath;      // empty when no results file was found
    std::string logPath;          // the program's console; empty when it could not be kept
    ResultsRun results;           // read from resultsPath
    nlohmann::json context;       // what went into the context file
};

// Runs the program once in the directory (which must exist); writes the
// context file and the console log beside the results file. Progress and
// messages go to stderr as it goes.
RunOutcome runOnce(RunSession& session, Program program, const RunOptions& options, const std::string& binary,
                   const std::string& directory);

// Where the program's binary is, and the directory made ready; false with
// a message on stderr when either cannot be had.
bool prepareRun(const RunOptions& options, std::string& binary, std::string& directory);
// The same, and the session on its display opened; false with a message on
// stderr when any of them cannot be had.
bool prepareSession(const RunOptions& options, std::string& binary, std::string& directory, RunSession& session);

// From now on SIGINT, SIGTERM and SIGHUP are noted, not fatal (opening a
// session does this too): what lumenfold set up, it can then take down.
void catchInterrupts();
// True once SIGINT, SIGTERM or SIGHUP arrived; lumenfold then finishes up.
bool interruptRequested();
