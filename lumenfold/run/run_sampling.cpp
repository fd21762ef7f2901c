#include "run/run_sampling.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "common/files.h"
#include "common/messages.h"
#include "machine/machine_sampler.h"
#include "model/machine_samples.h"

RunSampling::RunSampling() = default;
RunSampling::~RunSampling() {
    if (sampler_) sampler_->stop();
}

void RunSampling::start(const std::string& directory, const std::string& program, pid_t pid, int intervalMs) {
    intervalMs_ = intervalMs;
    if (intervalMs <= 0) return;
    static std::atomic<int> started = 0;
    path_ = directory + "/lumenfold-samples-" + program + "-" + std::to_string(getpid()) + "-" +
            std::to_string(++started) + ".csv";
    MachineOptions options;
    options.pid = pid;
    sampler_ = std::make_unique<MachineSampler>(options, path_, intervalMs);
    if (!sampler_->start(startError_)) {
        warn("the machine's state is not sampled: " + startError_);
        sampler_.reset();
    }
}

void RunSampling::finish(const std::string& resultsPath, RunContext& context) {
    if (intervalMs_ <= 0) return;
    RunContext::MachineState state;
    state.intervalSeconds = intervalMs_ / 1000.0;
    if (!sampler_) {
        state.problems.push_back("not sampled: " + startError_);
        context.machineState = state;
        return;
    }
    sampler_->stop();
    for (const Sensor& s : sampler_->sensors()) state.sensors.push_back({s.key, s.label, s.unit, ""});
    for (const Sensor& s : sampler_->unavailable()) state.unavailable.push_back({s.key, s.label, s.unit, s.reason});
    state.problems = sampler_->problems();
    state.samples = sampler_->samples();
    std::string where = path_;
    if (!resultsPath.empty()) {
        // Never over another run's file; this one then keeps its own name.
        std::string error;
        if (nameWithoutReplacing(path_, samplesPathFor(resultsPath), error))
            where = samplesPathFor(resultsPath);
        else
            warn("the machine's samples stay in " + path_ + ": " + error);
    }
    state.samplesFile = where;
    context.machineState = state;
    sampler_.reset();
}
