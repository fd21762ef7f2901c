// Finding the sensors: each file is read once here, so that one present but
// unreadable is named with its reason instead of leaving a column empty.
#include <algorithm>
#include <filesystem>
#include <set>
#include <unistd.h>

#include "machine/sensor_plan.h"
#include "model/machine_samples.h"

namespace {

namespace fs = std::filesystem;

struct Numbered {
    long number;
    std::string name;
};

// The entries of dir named prefix followed by a number, in the number's order.
std::vector<Numbered> numbered(const std::string& dir, const std::string& prefix) {
    std::vector<Numbered> found;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || !name.starts_with(prefix)) continue;
        const std::string digits = name.substr(prefix.size());
        const auto digit = [](char c) { return c >= '0' && c <= '9'; };
        if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), digit)) continue;
        found.push_back({std::stol(digits), name});
    }
    std::sort(found.begin(), found.end(), [](const Numbered& a, const Numbered& b) { return a.number < b.number; });
    return found;
}

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A device the kernel has put to sleep: reading its sensors would wake it
// and spend the very power being measured.
bool asleep(const std::string& deviceDir) { return firstLine(deviceDir + "/power/runtime_status") == "suspended"; }

// Adds the number in path as a sensor, or names it unavailable with the
// reason; nothing when there is no such file.
bool tryLevel(SensorPlan& plan, const std::string& path, double scale, const SensorName& sensor) {
    if (!exists(path)) return false;
    KernelFile file(path);
    char text[128];
    int error = 0;
    double value = 0;
    const ssize_t length = file.read(text, sizeof text, error);
    if (length < 0 || !parseNumber(text, text + length, value)) {
        plan.addUnavailable(sensor.key, sensor.label, sensor.unit,
                            path + ": " + readErrorText(length < 0 ? error : notANumber));
        return false;
    }
    plan.levels.push_back({std::move(file), scale, plan.add(sensor.key, sensor.label, sensor.unit)});
    return true;
}

// A counter: its total since the first reading (unit J or count) and, when
// rate is given, its rate (W).
void tryCounter(SensorPlan& plan, const std::string& path, Counter counter, const SensorName& total,
                const SensorName* rate) {
    if (!exists(path)) return;
    KernelFile file(path);
    char text[64];
    int error = 0;
    uint64_t value = 0;
    const ssize_t length = file.read(text, sizeof text, error);
    if (length < 0 || !parseCount(text, text + length, value)) {
        plan.addUnavailable(total.key, total.label, total.unit,
                            path + ": " + readErrorText(length < 0 ? error : notANumber));
        return;
    }
    CounterSensor sensor;
    sensor.file = std::move(file);
    sensor.counter = counter;
    sensor.totalSlot = plan.add(total.key, total.label, total.unit);
    if (rate) sensor.rateSlot = plan.add(rate->key, rate->label, rate->unit);
    plan.counters.push_back(std::move(sensor));
}

std::string under(const std::string& root, const std::string& path) {
    std::string base = root;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base + path;
}

// The CPUs /proc/stat counts, by number.
std::vector<long> statCpus(const std::string& text) {
    std::vector<long> cpus;
    for (size_t start = 0; start < text.size() && text.compare(start, 3, "cpu") == 0;) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const char* p = text.data() + start + 3;
        uint64_t number = 0;
        if (*p != ' ' && parseUnsigned(p, text.data() + end, number) && number < 100000) cpus.push_back(long(number));
        start = end + 1;
    }
    return cpus;
}

// The processors /proc/cpuinfo gives a clock for.
std::set<long> cpuinfoClocks(const std::string& text) {
    std::set<long> clocks;
    long processor = -1;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line(text.data() + start, end - start);
        const size_t colon = line.find(':');
        double value = 0;
        if (colon != std::string_view::npos &&
            parseNumber(line.data() + colon + 1, line.data() + line.size(), value)) {
            if (line.starts_with("processor")) processor = long(value);
            if (line.starts_with("cpu MHz") && processor >= 0) clocks.insert(processor);
        }
        start = end + 1;
    }
    return clocks;
}

void reserveBuffer(SensorPlan& plan, size_t size) {
    // Room for the file to grow while the program runs (CPUs brought online).
    plan.buffer.resize(std::max(plan.buffer.size(), size * 2 + 4096));
}

void discoverCpuClock(SensorPlan& plan, const std::string& root, long cpu, const std::set<long>& cpuinfo) {
    const std::string n = std::to_string(cpu);
    const SensorName clock{"cpu" + n + ".clock", "CPU " + n + " clock", "MHz"};
    const std::string cpufreq = under(root, "/sys/devices/system/cpu/cpu" + n + "/cpufreq/scaling_cur_freq");
    if (exists(cpufreq)) {
        tryLevel(plan, cpufreq, 0.001, clock);
    } else if (cpuinfo.count(cpu)) {
        if (plan.cpuInfo.clockSlot.size() <= size_t(cpu)) plan.cpuInfo.clockSlot.resize(size_t(cpu) + 1, -1);
        plan.cpuInfo.clockSlot[size_t(cpu)] = plan.add(clock.key, clock.label, clock.unit);
    }
}

void discoverCpus(SensorPlan& plan, const std::string& root) {
    const std::string statPath = under(root, "/proc/stat"), cpuinfoPath = under(root, "/proc/cpuinfo");
    std::string text, error;
    if (!exists(statPath)) return;
    if (!readText(statPath, text, error)) {
        plan.problems.push_back("CPU busy shares are not sampled: " + error);
        return;
    }
    const std::vector<long> cpus = statCpus(text);
    reserveBuffer(plan, text.size());
    std::string cpuinfoText;
    std::set<long> cpuinfo;
    if (readText(cpuinfoPath, cpuinfoText, error)) cpuinfo = cpuinfoClocks(cpuinfoText);
    if (!cpuinfo.empty()) {
        reserveBuffer(plan, cpuinfoText.size());
        plan.cpuInfo.file = KernelFile(cpuinfoPath);
    }
    plan.procStat.file = KernelFile(statPath);
    for (long cpu : cpus) {
        discoverCpuClock(plan, root, cpu, cpuinfo);
        if (plan.procStat.cpus.size() <= size_t(cpu)) plan.procStat.cpus.resize(size_t(cpu) + 1);
        const std::string n = std::to_string(cpu);
        plan.procStat.cpus[size_t(cpu)].busySlot = plan.add("cpu" + n + ".busy", "CPU " + n + " busy", "share");
    }
}

void discoverProgram(SensorPlan& plan, const std::string& root, pid_t pid) {
    const std::string path = under(root, "/proc/" + std::to_string(pid) + "/stat");
    // Opened now and kept: the process id may be another's once the program has gone.
    KernelFile file(path, false);
    char text[1024];
    int error = 0;
    if (file.read(text, sizeof text, error) < 0) {
        plan.problems.push_back("the program's CPU time and memory are not sampled: " + path + ": " +
                                readErrorText(error));
        return;
    }
    plan.program.file = std::move(file);
    plan.program.cpuSlot = plan.add("program.cpu", "the program's CPU", "cores");
    plan.program.memorySlot = plan.add("program.memory", "the program's resident memory", "MiB");
    const long ticks = sysconf(_SC_CLK_TCK), page = sysconf(_SC_PAGESIZE);
    if (ticks > 0) plan.program.ticksPerSecond = double(ticks);
    if (page > 0) plan.program.bytesPerPage = double(page);
}

void discoverThrottling(SensorPlan& plan, const std::string& root) {
    std::set<std::string> packages;
    for (const Numbered& cpu : numbered(under(root, "/sys/devices/system/cpu"), "cpu")) {
        const std::string dir = under(root, "/sys/devices/system/cpu/" + cpu.name);
        const std::string n = std::to_string(cpu.number);
        tryCounter(plan, dir + "/thermal_throttle/core_throttle_count", {},
                   {"cpu" + n + ".throttle", "CPU " + n + " thermal throttling", "count"}, nullptr);
        std::string package = firstLine(dir + "/topology/physical_package_id");
        if (package.empty()) package = n;
        if (!packages.insert(package).second) continue;
        const SensorName events{samplesKey("package" + package) + ".throttle",
                                "package " + package + " thermal throttling", "count"};
        tryCounter(plan, dir + "/thermal_throttle/package_throttle_count", {}, events, nullptr);
    }
}

void discoverThermalZones(SensorPlan& plan, const std::string& root) {
    for (const Numbered& zone : numbered(under(root, "/sys/class/thermal"), "thermal_zone")) {
        const std::string dir = under(root, "/sys/class/thermal/" + zone.name);
        std::string type = firstLine(dir + "/type");
        if (type.empty()) type = zone.name;
        tryLevel(plan, dir + "/temp", 0.001, {zone.name + ".temp", type, "degC"});
    }
}

// One hwmon chip's temperatures, powers, energies and clocks.
void discoverHwmonChip(SensorPlan& plan, const std::string& dir, const std::string& chip, const std::string& key) {
    const std::vector<std::string> names = entries(dir);
    const auto has = [&](const std::string& name) { return std::binary_search(names.begin(), names.end(), name); };
    for (const std::string& name : names) {
        const size_t underscore = name.find('_');
        const std::string base = name.substr(0, underscore), kind = base.substr(0, base.find_first_of("0123456789"));
        const std::string suffix = underscore == std::string::npos ? "" : name.substr(underscore);
        const bool input = suffix == "_input" || (kind == "power" && suffix == "_average" && !has(base + "_input"));
        if (!input || kind.size() == base.size()) continue;
        std::string label = firstLine(dir + "/" + base + "_label");
        label = chip + " " + (label.empty() ? base : label);
        const std::string path = dir + "/" + name;
        if (kind == "temp") tryLevel(plan, path, 0.001, {key + "." + base, label, "degC"});
        if (kind == "power") tryLevel(plan, path, 1e-6, {key + "." + base, label, "W"});
        if (kind == "freq") tryLevel(plan, path, 1e-6, {key + "." + base, label, "MHz"});
        if (kind == "energy") tryCounter(plan, path, {1e-6}, {key + "." + base, label, "J"}, nullptr);
    }
}

void discoverHwmon(SensorPlan& plan, const std::string& root) {
    std::set<std::string> keys;
    for (const Numbered& hwmon : numbered(under(root, "/sys/class/hwmon"), "hwmon")) {
        const std::string dir = under(root, "/sys/class/hwmon/" + hwmon.name);
        std::string chip = firstLine(dir + "/name");
        if (chip.empty()) chip = hwmon.name;
        if (asleep(dir + "/device")) {
            plan.problems.push_back(chip + " (" + hwmon.name + ") is asleep: not sampled, so as not to wake it");
            continue;
        }
        // Two chips of one name (two disks, two GPUs) keep apart.
        std::string key = samplesKey(chip);
        for (int n = 2; !keys.insert(key).second; ++n) key = samplesKey(chip) + "-" + std::to_string(n);
        discoverHwmonChip(plan, dir, chip, key);
    }
}

// RAPL and its kind: the energy counters of powercap zones, which wrap at
// max_energy_range_uj.
void discoverPowercap(SensorPlan& plan, const std::string& root) {
    const std::string base = under(root, "/sys/class/powercap");
    for (const std::string& zone : entries(base)) {
        const std::string dir = base + "/" + zone;
        if (!exists(dir + "/energy_uj")) continue;
        std::string label = firstLine(dir + "/name");
        if (label.empty()) label = zone;
        const size_t colon = zone.rfind(':');
        if (colon != std::string::npos && zone.find(':') != colon) {
            const std::string parent = firstLine(base + "/" + zone.substr(0, colon) + "/name");
            if (!parent.empty()) label = parent + " " + label;
        }
        std::string key = zone;
        std::replace(key.begin(), key.end(), ':', '.');
        key = samplesKey(key);
        Counter counter{1e-6};
        const std::string range = firstLine(dir + "/max_energy_range_uj");
        const char* p = range.c_str();
        if (!parseUnsigned(p, p + range.size(), counter.wrap)) counter.wrap = 0;
        const SensorName power{key + ".power", label + " power", "W"};
        tryCounter(plan, dir + "/energy_uj", counter, {key + ".energy", label + " energy", "J"}, &power);
    }
}

// Clocks and busy shares that kernel GPU drivers give in sysfs.
void discoverGpus(SensorPlan& plan, const std::string& root) {
    for (const Numbered& card : numbered(under(root, "/sys/class/drm"), "card")) {
        const std::string dir = under(root, "/sys/class/drm/" + card.name), device = dir + "/device";
        std::error_code error;
        const std::string driver = fs::read_symlink(device + "/driver", error).filename().string();
        const std::string name = driver.empty() ? card.name : card.name + " (" + driver + ")";
        if (asleep(device)) {
            plan.problems.push_back(name + " is asleep: not sampled, so as not to wake it");
            continue;
        }
        tryLevel(plan, device + "/gpu_busy_percent", 0.01, {card.name + ".busy", name + " busy", "share"});
        const SensorName clock{card.name + ".clock", name + " clock", "MHz"};
        for (const char* file : {"/gt_act_freq_mhz", "/gt_cur_freq_mhz", "/device/tile0/gt0/freq0/act_freq"})
            if (exists(dir + file)) {
                tryLevel(plan, dir + file, 1, clock);
                break;
            }
    }
}

// A slot for an NVML reading that answered, a reason for one refused, nothing
// for one the device does not have.
int probeNvml(SensorPlan& plan, const NvmlLibrary& nvml, bool bound, int code, const SensorName& sensor) {
    if (!bound || code == NvmlLibrary::notSupported) return -1;
    if (code == NvmlLibrary::success) return plan.add(sensor.key, sensor.label, sensor.unit);
    plan.addUnavailable(sensor.key, sensor.label, sensor.unit, "NVML: " + nvml.errorText(code));
    return -1;
}

void discoverNvmlDevice(SensorPlan& plan, const NvmlLibrary& nvml, NvmlLibrary::Device device, unsigned index) {
    NvmlDevice gpu;
    gpu.device = device;
    const std::string key = "nvml" + std::to_string(index);
    char model[96] = "";
    if (nvml.deviceName && nvml.deviceName(device, model, sizeof model) != NvmlLibrary::success) model[0] = 0;
    const std::string name = key + (model[0] ? " (" + std::string(model) + ")" : "");
    unsigned value = 0;
    unsigned long long count = 0;
    NvmlLibrary::Utilization rates;
    const auto call = [&](auto function, auto... arguments) {
        return function ? function(device, arguments...) : NvmlLibrary::notSupported;
    };
    gpu.graphicsSlot = probeNvml(plan, nvml, nvml.clock, call(nvml.clock, NvmlLibrary::clockGraphics, &value),
                                 {key + ".clock.graphics", name + " graphics clock", "MHz"});
    gpu.memorySlot = probeNvml(plan, nvml, nvml.clock, call(nvml.clock, NvmlLibrary::clockMemory, &value),
                               {key + ".clock.memory", name + " memory clock", "MHz"});
    gpu.busySlot = probeNvml(plan, nvml, nvml.utilization, call(nvml.utilization, &rates),
                             {key + ".busy", name + " busy", "share"});
    gpu.tempSlot = probeNvml(plan, nvml, nvml.temperature, call(nvml.temperature, NvmlLibrary::temperatureGpu, &value),
                             {key + ".temp", name + " temperature", "degC"});
    gpu.powerSlot = probeNvml(plan, nvml, nvml.power, call(nvml.power, &value), {key + ".power", name + " power", "W"});
    gpu.energySlot = probeNvml(plan, nvml, nvml.energy, call(nvml.energy, &count),
                               {key + ".energy", name + " energy", "J"});
    gpu.energy.scale = 0.001;
    if (nvml.throttleReasons && call(nvml.throttleReasons, &count) == NvmlLibrary::success)
        for (const ThrottleFlag& flag : throttleFlags()) {
            const int slot = plan.add(key + ".throttle." + flag.key, name + " throttled: " + flag.label, "flag");
            if (gpu.throttleSlot < 0) gpu.throttleSlot = slot;
        }
    plan.gpus.push_back(gpu);
}

void discoverNvml(SensorPlan& plan, const std::string& library) {
    auto nvml = std::make_unique<NvmlLibrary>();
    std::string error;
    if (!nvml->open(library, error)) {
        if (!error.empty()) plan.problems.push_back(error);
        return;
    }
    unsigned count = 0;
    int code = nvml->deviceCount(&count);
    if (code != NvmlLibrary::success) plan.problems.push_back("NVML cannot count the GPUs: " + nvml->errorText(code));
    for (unsigned i = 0; code == NvmlLibrary::success && i < count; ++i) {
        NvmlLibrary::Device device = nullptr;
        const int found = nvml->deviceHandle(i, &device);
        if (found == NvmlLibrary::success)
            discoverNvmlDevice(plan, *nvml, device, i);
        else
            plan.problems.push_back("NVML GPU " + std::to_string(i) + ": " + nvml->errorText(found));
    }
    plan.nvml = std::move(nvml);
}

}  // namespace

void discoverSensors(const MachineOptions& options, SensorPlan& plan) {
    discoverCpus(plan, options.root);
    if (options.pid > 0) discoverProgram(plan, options.root, options.pid);
    if (plan.procStat.file.path().size()) {
        plan.procStat.othersSlot = plan.add("others.cpu", "other processes' CPU", "cores");
    }
    discoverThrottling(plan, options.root);
    discoverThermalZones(plan, options.root);
    discoverHwmon(plan, options.root);
    discoverPowercap(plan, options.root);
    discoverGpus(plan, options.root);
    if (!options.nvmlLibrary.empty()) discoverNvml(plan, options.nvmlLibrary);
    plan.health.resize(plan.sensors.size());
}
