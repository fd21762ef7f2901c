// The machine's state while a program runs: its sensors sampled into a file
// that starts under a name of its own (the results file is not known until
// the program has made it) and moves beside the results file at the end.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "model/context_file.h"

class MachineSampler;

class RunSampling {
public:
    RunSampling();
    ~RunSampling();
    RunSampling(const RunSampling&) = delete;
    RunSampling& operator=(const RunSampling&) = delete;

    // Finds the sensors and starts sampling every intervalMs (0: not at
    // all). A sensor that cannot be read is named once in the context, and a
    // samples file that cannot be written leaves the run without samples.
    void start(const std::string& directory, const std::string& program, pid_t pid, int intervalMs);
    // Stops, moves the samples beside the results file (when there is one)
    // and records in the context what was sampled and where it went.
    void finish(const std::string& resultsPath, RunContext& context);

private:
    std::unique_ptr<MachineSampler> sampler_;
    std::string path_;
    int intervalMs_ = 0;
    std::string startError_;
};
