// Reading every sensor found: one pread per file, numbers parsed in place,
// rates from the difference with the reading before.
#include <cerrno>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "machine/sensor_plan.h"

namespace {

constexpr double unknown = std::numeric_limits<double>::quiet_NaN();

void fail(SensorPlan& plan, std::vector<double>& values, int slot, int error, double now) {
    values[size_t(slot)] = unknown;
    SensorHealth& health = plan.health[size_t(slot)];
    if (health.failures++ == 0) health.firstFailure = now - plan.firstReading;
    health.error = error;
}

void readLevels(SensorPlan& plan, std::vector<double>& values, double now) {
    char text[128];
    for (LevelSensor& level : plan.levels) {
        int error = notANumber;
        double value = 0;
        const ssize_t length = level.file.read(text, sizeof text, error);
        if (length >= 0 && parseNumber(text, text + length, value))
            values[size_t(level.slot)] = value * level.scale;
        else
            fail(plan, values, level.slot, length < 0 ? error : notANumber, now);
    }
}

void readCounters(SensorPlan& plan, std::vector<double>& values, double now) {
    char text[64];
    for (CounterSensor& sensor : plan.counters) {
        int error = notANumber;
        const ssize_t length = sensor.file.read(text, sizeof text, error);
        uint64_t raw = 0;
        if (length >= 0 && parseCount(text, text + length, raw)) {
            double rate = unknown;
            sensor.counter.update(raw, now, values[size_t(sensor.totalSlot)], rate);
            if (sensor.rateSlot >= 0) values[size_t(sensor.rateSlot)] = rate;
            continue;
        }
        fail(plan, values, sensor.totalSlot, length < 0 ? error : notANumber, now);
        if (sensor.rateSlot >= 0) fail(plan, values, sensor.rateSlot, length < 0 ? error : notANumber, now);
    }
}

// Calls take(begin, end) for each whole line of text; a line cut off by the
// end of the buffer is left alone.
template <typename Take>
void eachLine(const char* text, size_t length, Take take) {
    const char* end = text + length;
    for (const char* line = text; line < end;) {
        const char* stop = line;
        while (stop < end && *stop != '\n') ++stop;
        if (stop == end) return;
        take(line, stop);
        line = stop + 1;
    }
}

// The busy share of one /proc/stat line since the last reading. Idle time
// includes waiting for I/O; the kernel's iowait may step back, hence the clamp.
double busyShare(CpuTimes& cpu, const char* p, const char* end) {
    uint64_t fields[8] = {};
    for (uint64_t& field : fields)
        if (!parseUnsigned(p, end, field)) break;
    uint64_t total = 0;
    for (uint64_t field : fields) total += field;
    const uint64_t busy = total - fields[3] - fields[4];
    double share = unknown;
    const double spent = double(int64_t(total - cpu.total));
    if (cpu.seen && spent > 0) share = std::clamp(double(int64_t(busy - cpu.busy)) / spent, 0.0, 1.0);
    cpu.seen = cpu.present = true;
    cpu.busy = busy;
    cpu.total = total;
    return share;
}

// Everything busy but the program, in cores.
void othersShare(SensorPlan& plan, std::vector<double>& values, double allShare, size_t online) {
    const ProgramStat& program = plan.program;
    double others = allShare * double(online);
    if (program.cpuSlot >= 0) others -= program.cores;
    values[size_t(plan.procStat.othersSlot)] = std::max(others, 0.0);
}

void readProcStat(SensorPlan& plan, std::vector<double>& values, double now) {
    ProcStat& stat = plan.procStat;
    if (stat.file.path().empty()) return;
    int error = 0;
    const ssize_t length = stat.file.read(plan.buffer.data(), plan.buffer.size(), error);
    for (CpuTimes& cpu : stat.cpus) cpu.present = false;
    double allShare = unknown;
    if (length >= 0)
        eachLine(plan.buffer.data(), size_t(length), [&](const char* line, const char* end) {
            if (end - line < 4 || line[0] != 'c' || line[1] != 'p' || line[2] != 'u') return;
            const char* p = line + 3;
            uint64_t number = 0;
            if (*p == ' ')
                allShare = busyShare(stat.all, p, end);
            else if (parseUnsigned(p, end, number) && number < stat.cpus.size() && stat.cpus[number].busySlot >= 0)
                values[size_t(stat.cpus[number].busySlot)] = busyShare(stat.cpus[number], p, end);
        });
    size_t online = 0;
    for (const CpuTimes& cpu : stat.cpus) {
        online += cpu.present;
        if (cpu.busySlot >= 0 && !cpu.present) fail(plan, values, cpu.busySlot, length < 0 ? error : ENODATA, now);
    }
    if (length < 0)
        fail(plan, values, stat.othersSlot, error, now);
    else
        othersShare(plan, values, allShare, online);
}

// Fields 14, 15 and 24 of /proc/PID/stat (user and system time, resident
// pages), counted from the one after the name, whose brackets may hold anything.
bool programFields(const char* text, size_t length, uint64_t& ticks, uint64_t& pages) {
    const char* end = text + length;
    const char* p = end;
    while (p > text && p[-1] != ')') --p;
    if (p == text) return false;
    uint64_t user = 0, system = 0;
    for (int field = 3; field <= 24; ++field) {
        while (p < end && *p == ' ') ++p;
        const char* token = p;
        while (p < end && *p != ' ' && *p != '\n') ++p;
        if (token == p) return false;
        uint64_t* wanted = field == 14 ? &user : field == 15 ? &system : field == 24 ? &pages : nullptr;
        if (wanted && std::from_chars(token, p, *wanted).ptr != p) return false;
    }
    ticks = user + system;
    return true;
}

void readProgram(SensorPlan& plan, std::vector<double>& values, double now) {
    ProgramStat& program = plan.program;
    if (program.cpuSlot < 0) return;
    char text[1024];
    int error = notANumber;
    const ssize_t length = program.file.read(text, sizeof text, error);
    uint64_t ticks = 0, pages = 0;
    if (length < 0 || !programFields(text, size_t(length), ticks, pages)) {
        // A program that has ended is no fault: its values are simply gone,
        // and all that is busy is someone else's.
        const bool ended = length < 0 && (error == ESRCH || error == ENOENT);
        program.cores = ended ? 0 : unknown;
        values[size_t(program.cpuSlot)] = values[size_t(program.memorySlot)] = unknown;
        if (ended) return;
        fail(plan, values, program.cpuSlot, length < 0 ? error : notANumber, now);
        fail(plan, values, program.memorySlot, length < 0 ? error : notANumber, now);
        return;
    }
    program.cores = unknown;
    if (program.seen && now > program.time)
        program.cores = double(ticks - program.ticks) / program.ticksPerSecond / (now - program.time);
    program.seen = true;
    program.ticks = ticks;
    program.time = now;
    values[size_t(program.cpuSlot)] = program.cores;
    values[size_t(program.memorySlot)] = double(pages) * program.bytesPerPage / (1024.0 * 1024.0);
}

void readCpuInfo(SensorPlan& plan, std::vector<double>& values, double now) {
    CpuInfo& info = plan.cpuInfo;
    if (info.file.path().empty()) return;
    for (int slot : info.clockSlot)
        if (slot >= 0) values[size_t(slot)] = unknown;
    int error = 0;
    const ssize_t length = info.file.read(plan.buffer.data(), plan.buffer.size(), error);
    long processor = -1;
    if (length >= 0)
        eachLine(plan.buffer.data(), size_t(length), [&](const char* line, const char* end) {
            const char* colon = line;
            while (colon < end && *colon != ':') ++colon;
            double value = 0;
            if (colon == end || !parseNumber(colon + 1, end, value)) return;
            const std::string_view name(line, size_t(colon - line));
            if (name.starts_with("processor")) processor = long(value);
            if (name.starts_with("cpu MHz") && processor >= 0 && size_t(processor) < info.clockSlot.size() &&
                info.clockSlot[size_t(processor)] >= 0)
                values[size_t(info.clockSlot[size_t(processor)])] = value;
        });
    for (int slot : info.clockSlot)
        if (slot >= 0 && std::isnan(values[size_t(slot)])) fail(plan, values, slot, length < 0 ? error : ENODATA, now);
}

// One NVML reading into its slot, scaled, or its failure.
template <typename Value>
void nvmlValue(SensorPlan& plan, std::vector<double>& values, int slot, int code, Value value, double scale,
               double now) {
    if (slot < 0) return;
    if (code == NvmlLibrary::success)
        values[size_t(slot)] = double(value) * scale;
    else
        fail(plan, values, slot, nvmlError(code), now);
}

void readNvmlDevice(SensorPlan& plan, NvmlDevice& gpu, std::vector<double>& values, double now) {
    const NvmlLibrary& nvml = *plan.nvml;
    unsigned value = 0;
    int code = 0;
    if (gpu.graphicsSlot >= 0) code = nvml.clock(gpu.device, NvmlLibrary::clockGraphics, &value);
    nvmlValue(plan, values, gpu.graphicsSlot, code, value, 1, now);
    if (gpu.memorySlot >= 0) code = nvml.clock(gpu.device, NvmlLibrary::clockMemory, &value);
    nvmlValue(plan, values, gpu.memorySlot, code, value, 1, now);
    NvmlLibrary::Utilization rates;
    if (gpu.busySlot >= 0) code = nvml.utilization(gpu.device, &rates);
    nvmlValue(plan, values, gpu.busySlot, code, rates.gpu, 0.01, now);
    if (gpu.tempSlot >= 0) code = nvml.temperature(gpu.device, NvmlLibrary::temperatureGpu, &value);
    nvmlValue(plan, values, gpu.tempSlot, code, value, 1, now);
    if (gpu.powerSlot >= 0) code = nvml.power(gpu.device, &value);
    nvmlValue(plan, values, gpu.powerSlot, code, value, 0.001, now);
    unsigned long long count = 0;
    if (gpu.energySlot >= 0) {
        code = nvml.energy(gpu.device, &count);
        double rate = unknown;
        if (code == NvmlLibrary::success)
            gpu.energy.update(count, now, values[size_t(gpu.energySlot)], rate);
        else
            fail(plan, values, gpu.energySlot, nvmlError(code), now);
    }
    if (gpu.throttleSlot < 0) return;
    code = nvml.throttleReasons(gpu.device, &count);
    for (size_t i = 0; i < throttleFlags().size(); ++i)
        nvmlValue(plan, values, gpu.throttleSlot + int(i), code, (count & throttleFlags()[i].bit) ? 1 : 0, 1, now);
}

std::string errorText(const SensorPlan& plan, int error) {
    if (error <= nvmlError(0)) return plan.nvml ? "NVML: " + plan.nvml->errorText(nvmlError(0) - error) : "NVML";
    return readErrorText(error);
}

}  // namespace

void Counter::update(uint64_t raw, double now, double& totalOut, double& rate) {
    rate = unknown;
    if (seen) {
        const uint64_t delta = raw >= last ? raw - last : wrap > last ? wrap - last + raw : raw;
        total += double(delta) * scale;
        if (now > lastTime) rate = double(delta) * scale / (now - lastTime);
    }
    seen = true;
    last = raw;
    lastTime = now;
    totalOut = total;
}

const std::vector<ThrottleFlag>& throttleFlags() {
    static const std::vector<ThrottleFlag> flags = {{0x4, "sw_power_cap", "software power cap"},
                                                    {0x8, "hw_slowdown", "hardware slowdown"},
                                                    {0x20, "sw_thermal", "software thermal slowdown"},
                                                    {0x40, "hw_thermal", "hardware thermal slowdown"},
                                                    {0x80, "power_brake", "power brake"}};
    return flags;
}

int SensorPlan::add(std::string key, std::string label, std::string unit) {
    sensors.push_back({std::move(key), std::move(label), std::move(unit), {}});
    return int(sensors.size()) - 1;
}

void SensorPlan::addUnavailable(std::string key, std::string label, std::string unit, std::string reason) {
    unavailable.push_back({std::move(key), std::move(label), std::move(unit), std::move(reason)});
}

MachineReader::MachineReader(const MachineOptions& options) : plan_(std::make_unique<SensorPlan>()) {
    discoverSensors(options, *plan_);
    values_.assign(plan_->sensors.size(), unknown);
}

MachineReader::~MachineReader() = default;

const std::vector<Sensor>& MachineReader::sensors() const { return plan_->sensors; }
const std::vector<Sensor>& MachineReader::unavailable() const { return plan_->unavailable; }

std::vector<std::string> MachineReader::problems(bool withReadings) const {
    std::vector<std::string> out;
    for (const Sensor& s : plan_->unavailable) out.push_back(s.label + " (" + s.key + "): " + s.reason);
    out.insert(out.end(), plan_->problems.begin(), plan_->problems.end());
    for (size_t slot = 0; withReadings && slot < plan_->health.size(); ++slot) {
        const SensorHealth& health = plan_->health[slot];
        if (health.failures == 0) continue;
        char when[64];
        std::snprintf(when, sizeof when, "%zu of %zu readings, the first at %.1f s", health.failures, readings_,
                      health.firstFailure);
        const Sensor& s = plan_->sensors[slot];
        out.push_back(s.label + " (" + s.key + "): not read at " + when + ": " + errorText(*plan_, health.error));
    }
    return out;
}

const std::vector<double>& MachineReader::read(double secondsNow) {
    SensorPlan& plan = *plan_;
    if (readings_ == 0) plan.firstReading = secondsNow;
    readLevels(plan, values_, secondsNow);
    readCounters(plan, values_, secondsNow);
    readProgram(plan, values_, secondsNow);
    readProcStat(plan, values_, secondsNow);
    readCpuInfo(plan, values_, secondsNow);
    for (NvmlDevice& gpu : plan.gpus) readNvmlDevice(plan, gpu, values_, secondsNow);
    ++readings_;
    return values_;
}
