// How each sensor found is read: what discovery hands the reader. Every
// buffer and every piece of state is made here, once, so that reading
// allocates nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "machine/kernel_file.h"
#include "machine/machine_sensors.h"
#include "machine/nvml_library.h"

// A counter that only grows but for its wrap: energy, throttling events.
struct Counter {
    double scale = 1;          // from its unit to joules or events
    uint64_t wrap = 0;         // the value it wraps at; 0: unknown, a fall is a restart from 0
    bool seen = false;
    uint64_t last = 0;
    double lastTime = 0;
    double total = 0;          // since the first reading, scaled
    // The total since the first reading, and per second since the last (NaN at the first).
    void update(uint64_t raw, double now, double& totalOut, double& rate);
};

// What a sensor is called, before it is known to read.
struct SensorName {
    std::string key, label, unit;
};

// A number in one file, scaled: a clock, a temperature, a power.
struct LevelSensor {
    KernelFile file;
    double scale = 1;
    int slot = -1;
};

struct CounterSensor {
    KernelFile file;
    Counter counter;
    int totalSlot = -1;
    int rateSlot = -1;         // -1: no rate (events are counted, not timed)
};

// Busy and all time of one CPU line of /proc/stat, in clock ticks.
struct CpuTimes {
    int busySlot = -1;
    bool seen = false, present = false;
    uint64_t busy = 0, total = 0;
};

struct ProcStat {
    KernelFile file;
    std::vector<CpuTimes> cpus;   // by CPU number
    CpuTimes all;                 // the first line, every CPU together
    int othersSlot = -1;
};

struct ProgramStat {
    KernelFile file;
    int cpuSlot = -1, memorySlot = -1;
    bool seen = false;
    uint64_t ticks = 0;
    double time = 0;
    double ticksPerSecond = 100, bytesPerPage = 4096;
    double cores = 0;             // at the last reading, NaN when unknown
};

struct CpuInfo {
    KernelFile file;
    std::vector<int> clockSlot;   // by processor number; -1 where cpufreq serves
};

struct NvmlDevice {
    NvmlLibrary::Device device = nullptr;
    int graphicsSlot = -1, memorySlot = -1, busySlot = -1, tempSlot = -1, powerSlot = -1;
    int energySlot = -1, energyRateSlot = -1;
    int throttleSlot = -1;        // the first of the throttle flags, in throttleFlags' order
    Counter energy;
};

struct ThrottleFlag {
    unsigned long long bit;
    const char* key;
    const char* label;
};
// NVML's clock throttle reasons that slow a GPU down.
const std::vector<ThrottleFlag>& throttleFlags();

// What went wrong at readings of one sensor; the first time and the last error.
struct SensorHealth {
    size_t failures = 0;
    double firstFailure = 0;
    int error = 0;                // errno, notANumber, or an NVML code as nvmlError(code)
};
constexpr int nvmlError(int code) { return -1000 - code; }

struct SensorPlan {
    std::vector<Sensor> sensors, unavailable;
    std::vector<std::string> problems;     // besides the unavailable sensors
    std::vector<LevelSensor> levels;
    std::vector<CounterSensor> counters;
    ProcStat procStat;
    ProgramStat program;
    CpuInfo cpuInfo;
    std::unique_ptr<NvmlLibrary> nvml;
    std::vector<NvmlDevice> gpus;
    std::vector<char> buffer;              // for /proc/stat and /proc/cpuinfo
    std::vector<SensorHealth> health;      // by slot
    double firstReading = 0;

    int add(std::string key, std::string label, std::string unit);
    void addUnavailable(std::string key, std::string label, std::string unit, std::string reason);
};

// Fills a plan with what is found under options.root.
void discoverSensors(const MachineOptions& options, SensorPlan& plan);
