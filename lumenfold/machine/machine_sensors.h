// What the machine offers to watch while a program runs, found under a root
// directory ("/" normally, a fixture tree in tests) and read cheaply: the
// files stay open between readings and are read again from their start.
//
// Keys and units (the samples file's columns):
//   cpuN.clock MHz, cpuN.busy share (0..1 of that core's time),
//   program.cpu cores (the program's CPU time per second, all its threads),
//   program.memory MiB (resident), others.cpu cores (everything else busy),
//   cpuN.throttle, packageN.throttle count (thermal throttling events since start),
//   thermal_zoneN.temp degC, <hwmon>.tempN degC, <hwmon>.powerN W,
//   <hwmon>.energyN J (since start), <hwmon>.freqN MHz,
//   <powercap zone>.power W and .energy J (RAPL: "intel-rapl.0.energy"),
//   cardN.busy share, cardN.clock MHz (kernel GPU drivers),
//   nvmlN.clock.graphics, nvmlN.clock.memory MHz, nvmlN.busy share, nvmlN.temp degC,
//   nvmlN.power W, nvmlN.energy J, nvmlN.throttle.<reason> flag (1 while it holds).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

struct Sensor {
    std::string key;      // "cpu0.clock"
    std::string label;    // for people: "CPU 0 clock", "Package id 0", "package-0 power"
    std::string unit;     // "MHz"
    std::string reason;   // present but not sampled, and why; empty when sampled
};

struct MachineOptions {
    std::string root = "/";
    pid_t pid = 0;        // the program's; 0 when there is none to watch
    // Loaded at run time when present; empty to leave NVIDIA's library alone.
    std::string nvmlLibrary = "libnvidia-ml.so.1";
};

struct SensorPlan;

// Finds the sensors once, then reads them all as often as asked. Reading
// allocates nothing; it is for one thread at a time.
class MachineReader {
public:
    explicit MachineReader(const MachineOptions& options);
    ~MachineReader();
    MachineReader(const MachineReader&) = delete;
    MachineReader& operator=(const MachineReader&) = delete;

    // The sensors read, in the order of read()'s values.
    const std::vector<Sensor>& sensors() const;
    // Sensors present but not read, each with its reason.
    const std::vector<Sensor>& unavailable() const;
    // Each found problem once, for people: the unavailable sensors with their
    // reasons, a GPU library that would not start; then, with readings, each
    // sensor that could not be read at some of the readings taken.
    std::vector<std::string> problems(bool withReadings = true) const;

    // Reads every sensor; secondsNow is on a monotonic clock. Values are NaN
    // where a sensor could not be read, and rates are NaN at the first reading.
    const std::vector<double>& read(double secondsNow);
    size_t readings() const { return readings_; }

private:
    std::unique_ptr<SensorPlan> plan_;
    std::vector<double> values_;
    size_t readings_ = 0;
};
