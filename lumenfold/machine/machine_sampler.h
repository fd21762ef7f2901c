// Samples the machine's sensors on a thread of its own while a program runs,
// and appends each sample to the samples file as it is taken (one write per
// line, straight to the file), so that a run killed midway keeps what was
// sampled. The format is model/machine_samples.h's.
//
//   MachineSampler sampler({root, pid}, samplesPathFor(resultsPath), 100);
//   // sampler.sensors(), sampler.problems(): for the context
//   if (!sampler.start(error)) ...   // the run goes on without samples
//   ... the program runs ...
//   sampler.stop();                  // a last sample, then the file is complete
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "machine/machine_sensors.h"

class MachineSampler {
public:
    // Finds the sensors at once (see MachineReader); samples nothing yet.
    MachineSampler(const MachineOptions& options, std::string samplesPath, int intervalMs = 100);
    ~MachineSampler();
    MachineSampler(const MachineSampler&) = delete;
    MachineSampler& operator=(const MachineSampler&) = delete;

    // Creates the samples file with its header and starts sampling: the
    // first sample at once, then one every interval. False with error (for
    // people, the path as given) when the file cannot be written.
    bool start(std::string& error);
    // Takes a last sample and waits for the thread; the file is then
    // complete. Does nothing when not started or already stopped.
    void stop();

    const std::vector<Sensor>& sensors() const { return reader_.sensors(); }
    const std::vector<Sensor>& unavailable() const { return reader_.unavailable(); }
    // What discovery found wrong; once stopped, also the sensors that failed
    // at some samples and a samples file that could not be written to the end.
    std::vector<std::string> problems() const;

    // After stop(): the samples written, and the CPU time the sampling thread
    // spent against the time it ran, in seconds.
    size_t samples() const { return samples_; }
    double cpuSeconds() const { return cpuSeconds_; }
    double wallSeconds() const { return wallSeconds_; }

private:
    void run();
    bool sample();

    MachineReader reader_;
    std::string path_;
    std::chrono::milliseconds interval_;
    int fd_ = -1;
    std::vector<char> line_;
    std::chrono::steady_clock::time_point start_, lastSample_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool stopped_ = false;
    std::string writeError_;
    std::atomic<size_t> samples_ = 0;
    double cpuSeconds_ = 0, wallSeconds_ = 0;
};
