// run --timing: the timing library preloaded into the program, its file
// started under a name of its own (the results file is not known until the
// program has made it) and moved beside the results file at the end.
#pragma once

#include <optional>
#include <string>

#include "model/context_file.h"

// Where the timing library is: installed beside lumenfold's lib/, or in the
// build tree; empty, with the places looked at in `looked`, when it is not.
std::string findTimingLibrary(std::string& looked);

class RunTiming {
public:
    RunTiming() = default;
    ~RunTiming();
    RunTiming(const RunTiming&) = delete;
    RunTiming& operator=(const RunTiming&) = delete;

    // Sets the environment the program is started with: the library preloaded
    // after any the user preloads, and the file it writes. False, with a
    // message on stderr, when the library cannot be found.
    bool prepare(const std::string& directory, const std::string& program);
    // Puts lumenfold's own environment back once the program has started.
    void started();
    // Moves the file beside the results file (when there is one and no other
    // file is there) and records in the context what was timed and where.
    void finish(const std::string& resultsPath, RunContext& context);

private:
    bool active_ = false;
    std::string library_;
    std::string path_;
    std::optional<std::string> preload_;   // the user's LD_PRELOAD, to put back
    bool environmentSet_ = false;
};
