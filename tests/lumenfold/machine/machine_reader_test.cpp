#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <ctime>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fixture_tree.h"
#include "machine/machine_sensors.h"

// Every allocation of the test program counted, to show that reading takes
// none. GCC takes the replaced pair for a mismatch where it inlines them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
std::atomic<size_t> allocations{0};

void* operator new(size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

using Values = std::map<std::string, double>;

Values named(const MachineReader& reader, const std::vector<double>& values) {
    Values out;
    for (size_t i = 0; i < values.size(); ++i) out[reader.sensors()[i].key] = values[i];
    return out;
}

Values byKey(MachineReader& reader, double now) { return named(reader, reader.read(now)); }

// A reading after the first, which must allocate nothing.
Values readingWithoutAllocation(MachineReader& reader, double now) {
    const size_t before = allocations;
    const std::vector<double>& values = reader.read(now);
    EXPECT_EQ(allocations - before, 0u);
    return named(reader, values);
}

std::vector<std::string> keys(const std::vector<Sensor>& sensors) {
    std::vector<std::string> out;
    for (const Sensor& s : sensors) out.push_back(s.key);
    return out;
}

std::string programStat(int utime, int stime, int pages) {
    // The name holds brackets and spaces, as any program's may.
    return "4242 (my) prog) S 1 4242 4242 0 -1 4194304 100 0 0 0 " + std::to_string(utime) + " " +
           std::to_string(stime) + " 0 0 25 -5 3 0 12345 123456789 " + std::to_string(pages) +
           " 18446744073709551615 1 1 0 0 0\n";
}

const char* const statBefore =
    "cpu  1000 0 500 8000 100 0 0 0 0 0\ncpu0 600 0 200 4000 50 0 0 0 0 0\ncpu1 400 0 300 4000 50 0 0 0 0 0\n"
    "intr 1 2 3\nctxt 99\n";
// cpu0: 30 busy of 100 ticks; cpu1: 80 of 100; together 110 of 200.
const char* const statAfter =
    "cpu  1100 0 510 8080 110 0 0 0 0 0\ncpu0 620 0 210 4060 60 0 0 0 0 0\ncpu1 480 0 300 4020 50 0 0 0 0 0\n"
    "intr 1 2 3\nctxt 120\n";

const char* const cpuinfo = "processor\t: 0\ncpu MHz\t\t: 1000.000\n\nprocessor\t: 1\ncpu MHz\t\t: 2599.998\n\n";

// Every kind of sensor, as the kernel lays them out.
void buildMachine(const FixtureTree& tree) {
    tree.write("proc/stat", statBefore);
    tree.write("proc/cpuinfo", cpuinfo);
    tree.write("proc/4242/stat", programStat(300, 50, 2560));
    tree.write("sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq", "2400000\n");
    for (const char* cpu : {"cpu0", "cpu1"}) {
        const std::string dir = std::string("sys/devices/system/cpu/") + cpu;
        tree.write(dir + "/thermal_throttle/core_throttle_count", "5\n");
        tree.write(dir + "/thermal_throttle/package_throttle_count", "11\n");
        tree.write(dir + "/topology/physical_package_id", "0\n");
    }
    tree.write("sys/class/thermal/thermal_zone0/type", "x86_pkg_temp\n");
    tree.write("sys/class/thermal/thermal_zone0/temp", "45000\n");
    tree.write("sys/class/hwmon/hwmon0/name", "coretemp\n");
    tree.write("sys/class/hwmon/hwmon0/temp1_input", "52000\n");
    tree.write("sys/class/hwmon/hwmon0/temp1_label", "Package id 0\n");
    tree.write("sys/class/hwmon/hwmon1/name", "amdgpu\n");
    tree.write("sys/class/hwmon/hwmon1/power1_average", "15000000\n");
    tree.write("sys/class/hwmon/hwmon1/freq1_input", "1800000000\n");
    tree.write("sys/class/hwmon/hwmon1/freq1_label", "sclk\n");
    tree.write("sys/class/hwmon/hwmon1/energy1_input", "1000000\n");
    tree.write("sys/class/hwmon/hwmon2/name", "coretemp\n");
    tree.write("sys/class/hwmon/hwmon2/temp1_input", "30000\n");
    tree.write("sys/class/hwmon/hwmon3/name", "nvme\n");
    tree.write("sys/class/hwmon/hwmon3/temp1_input", "40000\n");
    tree.write("sys/class/hwmon/hwmon3/device/power/runtime_status", "suspended\n");
    tree.write("sys/class/powercap/intel-rapl:0/name", "package-0\n");
    tree.write("sys/class/powercap/intel-rapl:0/max_energy_range_uj", "262143328850\n");
    tree.write("sys/class/powercap/intel-rapl:0/energy_uj", "262142328850\n");
    tree.write("sys/class/powercap/intel-rapl:0:0/name", "core\n");
    tree.write("sys/class/powercap/intel-rapl:0:0/energy_uj", "500\n");
    tree.write("sys/class/drm/card0/device/gpu_busy_percent", "37\n");
    tree.write("sys/bus/pci/drivers/amdgpu/bind", "");
    std::filesystem::create_directory_symlink(tree.path("sys/bus/pci/drivers/amdgpu"),
                                              tree.path("sys/class/drm/card0/device/driver"));
    tree.write("sys/class/drm/card0-HDMI-A-1/status", "connected\n");
    tree.write("sys/class/drm/card1/gt_act_freq_mhz", "1100\n");
}

// The same machine half a second later: every value has moved, the RAPL
// package counter through its wrap.
void advanceMachine(const FixtureTree& tree) {
    tree.replace("proc/stat", statAfter);
    tree.replace("proc/cpuinfo", "processor\t: 0\ncpu MHz\t\t: 1000.000\n\nprocessor\t: 1\ncpu MHz\t\t: 3100.5\n\n");
    // A process's file changes in place; a new one in its place would be another process's.
    tree.write("proc/4242/stat", programStat(320, 55, 2560));
    tree.replace("sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq", "1800000\n");
    tree.replace("sys/devices/system/cpu/cpu0/thermal_throttle/core_throttle_count", "7\n");
    tree.replace("sys/class/thermal/thermal_zone0/temp", "47500\n");
    tree.replace("sys/class/hwmon/hwmon1/energy1_input", "1500000\n");
    tree.replace("sys/class/powercap/intel-rapl:0/energy_uj", "2000000\n");
    tree.replace("sys/class/powercap/intel-rapl:0:0/energy_uj", "1000500\n");
    tree.replace("sys/class/drm/card0/device/gpu_busy_percent", "90\n");
    tree.replace("sys/class/drm/card1/gt_act_freq_mhz", "1300\n");
}

TEST(MachineReader, ReadsEveryKindOfSensorAndItsChanges) {
    FixtureTree tree;
    buildMachine(tree);
    MachineReader reader({tree.root(), 4242, ""});
    EXPECT_EQ(keys(reader.sensors()),
              (std::vector<std::string>{"cpu0.clock", "cpu0.busy", "cpu1.clock", "cpu1.busy", "program.cpu",
                                        "program.memory", "others.cpu", "cpu0.throttle", "package0.throttle",
                                        "cpu1.throttle", "thermal_zone0.temp", "coretemp.temp1", "amdgpu.energy1",
                                        "amdgpu.freq1", "amdgpu.power1", "coretemp-2.temp1", "intel-rapl.0.energy",
                                        "intel-rapl.0.power", "intel-rapl.0.0.energy", "intel-rapl.0.0.power",
                                        "card0.busy", "card1.clock"}));
    EXPECT_EQ(reader.sensors()[11].label, "coretemp Package id 0");
    EXPECT_EQ(reader.sensors()[11].unit, "degC");
    EXPECT_EQ(reader.sensors()[18].label, "package-0 core energy");
    EXPECT_EQ(reader.sensors()[20].label, "card0 (amdgpu) busy");
    EXPECT_EQ(reader.problems(),
              (std::vector<std::string>{"nvme (hwmon3) is asleep: not sampled, so as not to wake it"}));

    Values first = byKey(reader, 10);
    for (const char* rate : {"cpu0.busy", "cpu1.busy", "program.cpu", "others.cpu", "intel-rapl.0.power"})
        EXPECT_TRUE(std::isnan(first[rate])) << rate;
    EXPECT_DOUBLE_EQ(first["cpu0.clock"], 2400);
    EXPECT_DOUBLE_EQ(first["cpu1.clock"], 2599.998);
    EXPECT_DOUBLE_EQ(first["intel-rapl.0.energy"], 0);
    EXPECT_DOUBLE_EQ(first["cpu0.throttle"], 0);
    EXPECT_DOUBLE_EQ(first["amdgpu.power1"], 15);
    EXPECT_DOUBLE_EQ(first["amdgpu.freq1"], 1800);
    EXPECT_DOUBLE_EQ(first["coretemp-2.temp1"], 30);
    EXPECT_DOUBLE_EQ(first["program.memory"], 2560.0 * double(sysconf(_SC_PAGESIZE)) / (1 << 20));

    advanceMachine(tree);
    Values second = readingWithoutAllocation(reader, 10.5);
    const double programCores = 25.0 / double(sysconf(_SC_CLK_TCK)) / 0.5;
    const Values expected = {
        {"cpu0.clock", 1800}, {"cpu0.busy", 0.3}, {"cpu1.clock", 3100.5}, {"cpu1.busy", 0.8},
        {"program.cpu", programCores}, {"others.cpu", std::max(1.1 - programCores, 0.0)},
        {"cpu0.throttle", 2}, {"package0.throttle", 0}, {"cpu1.throttle", 0}, {"thermal_zone0.temp", 47.5},
        {"coretemp.temp1", 52}, {"amdgpu.energy1", 0.5}, {"intel-rapl.0.energy", 3}, {"intel-rapl.0.power", 6},
        {"intel-rapl.0.0.energy", 1}, {"intel-rapl.0.0.power", 2}, {"card0.busy", 0.9}, {"card1.clock", 1300}};
    for (const auto& [key, value] : expected) EXPECT_NEAR(second[key], value, 1e-9) << key;
    EXPECT_EQ(reader.problems().size(), 1u);
}

TEST(MachineReader, SensorsThatVanishAreEmptyUntilTheyReturnAndNamedOnce) {
    FixtureTree tree;
    tree.write("proc/stat", statBefore);
    tree.write("proc/4242/stat", programStat(300, 50, 100));
    tree.write("sys/class/hwmon/hwmon0/name", "coretemp\n");
    tree.write("sys/class/hwmon/hwmon0/temp1_input", "52000\n");
    tree.write("sys/class/thermal/thermal_zone0/temp", "45000\n");
    MachineReader reader({tree.root(), 4242, ""});
    byKey(reader, 0);

    // The chip's file goes, the program ends, a value is replaced.
    tree.remove("sys/class/hwmon/hwmon0/temp1_input");
    tree.write("proc/stat", statAfter);
    tree.remove("proc/4242/stat");
    tree.replace("sys/class/thermal/thermal_zone0/temp", "46000\n");
    Values gone = byKey(reader, 1);
    for (const char* key : {"coretemp.temp1", "program.cpu", "program.memory"})
        EXPECT_TRUE(std::isnan(gone[key])) << key;
    EXPECT_DOUBLE_EQ(gone["thermal_zone0.temp"], 46);
    // With the program gone, all that is busy is someone else's.
    EXPECT_NEAR(gone["others.cpu"], 1.1, 1e-12);

    // The chip's file is back; CPU 1 goes offline; the program's id, now
    // someone else's, is not followed.
    tree.write("sys/class/hwmon/hwmon0/temp1_input", "61000\n");
    tree.write("proc/stat", "cpu  1200 0 520 8160 120 0 0 0 0 0\ncpu0 720 0 220 4140 60 0 0 0 0 0\n");
    tree.write("proc/4242/stat", programStat(900, 900, 100));
    Values back = byKey(reader, 2);
    EXPECT_DOUBLE_EQ(back["coretemp.temp1"], 61);
    EXPECT_TRUE(std::isnan(back["cpu1.busy"]));
    EXPECT_TRUE(std::isnan(back["program.cpu"]));

    const std::vector<std::string> problems = reader.problems();
    EXPECT_EQ(problems,
              (std::vector<std::string>{
                  "CPU 1 busy (cpu1.busy): not read at 1 of 3 readings, the first at 2.0 s: No data available",
                  "coretemp temp1 (coretemp.temp1): not read at 1 of 3 readings, the first at 1.0 s: "
                  "No such file or directory"}));
}

// The reasons discovery gives for the tree's unreadable sensors, then the
// keys of those it samples. A file no one may read stops root only when
// root's rights are dropped: as root, discovery runs in a child that has
// become nobody.
std::vector<std::string> discoveredAsUser(const FixtureTree& tree) {
    const auto discover = [&] {
        MachineReader reader({tree.root(), 0, ""});
        std::vector<std::string> lines = reader.problems();
        lines.push_back("sampled:");
        for (const Sensor& s : reader.sensors()) lines.back() += " " + s.key;
        return lines;
    };
    if (geteuid() != 0) return discover();
    chmod(tree.root().c_str(), 0755);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {"no pipe"};
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
        std::string text;
        for (const std::string& line : discover()) text += line + "\n";
        _exit(write(pipeFds[1], text.data(), text.size()) == ssize_t(text.size()) ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(got));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {"the child running as nobody failed"};
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

TEST(MachineReader, UnreadableSensorsAreNamedOnceWithTheirReason) {
    FixtureTree tree;
    tree.write("sys/class/powercap/intel-rapl:0/name", "package-0\n");
    std::filesystem::create_directories(tree.path("sys/class/powercap/intel-rapl:0/energy_uj"));
    tree.write("sys/class/thermal/thermal_zone0/type", "x86_pkg_temp\n");
    tree.write("sys/class/thermal/thermal_zone0/temp", "N/A\n");
    tree.write("sys/class/thermal/thermal_zone1/type", "acpitz\n");
    tree.write("sys/class/thermal/thermal_zone1/temp", "27800\n");
    chmod(tree.path("sys/class/thermal/thermal_zone1/temp").c_str(), 0);
    tree.write("sys/class/thermal/thermal_zone2/temp", "31000\n");

    const std::string zones = tree.root() + "/sys/class/thermal/";
    EXPECT_EQ(discoveredAsUser(tree),
              (std::vector<std::string>{
                  "x86_pkg_temp (thermal_zone0.temp): " + zones + "thermal_zone0/temp: holds no number",
                  "acpitz (thermal_zone1.temp): " + zones + "thermal_zone1/temp: Permission denied",
                  "package-0 energy (intel-rapl.0.energy): " + tree.root() +
                      "/sys/class/powercap/intel-rapl:0/energy_uj: Is a directory",
                  "sampled: thermal_zone2.temp"}));
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

TEST(MachineReader, ReadsThisMachinesProc) {
    MachineReader reader({"/", getpid(), ""});
    long cpus = 0;
    for (const Sensor& s : reader.sensors()) cpus += s.key.starts_with("cpu") && s.key.ends_with(".busy");
    EXPECT_EQ(cpus, sysconf(_SC_NPROCESSORS_ONLN));
    const auto start = std::chrono::steady_clock::now();
    Values before = byKey(reader, 0);
    EXPECT_GT(before["program.memory"], 0);
    // Work enough for the kernel's tick accounting to see it.
    const double cpu = processCpuSeconds();
    while (processCpuSeconds() - cpu < 0.1) {
    }
    Values after = byKey(reader, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    for (const auto& [key, value] : after) {
        if (key.ends_with(".busy")) {
            EXPECT_GE(value, 0) << key;
            EXPECT_LE(value, 1) << key;
        }
        if (key.ends_with(".clock")) {
            EXPECT_GT(value, 0) << key;
        }
    }
    EXPECT_GT(after["program.cpu"], 0);
    EXPECT_GE(after["others.cpu"], 0);
    EXPECT_TRUE(reader.problems(true).size() == reader.problems(false).size())
        << ::testing::PrintToString(reader.problems());
}

TEST(MachineReader, NvidiaGpusThroughTheirLibrary) {
    FixtureTree tree;
    MachineReader reader({tree.root(), 0, NVML_STANDIN});
    EXPECT_EQ(keys(reader.sensors()),
              (std::vector<std::string>{"nvml0.clock.graphics", "nvml0.clock.memory", "nvml0.busy", "nvml0.power",
                                        "nvml0.energy", "nvml0.throttle.sw_power_cap", "nvml0.throttle.hw_slowdown",
                                        "nvml0.throttle.sw_thermal", "nvml0.throttle.hw_thermal",
                                        "nvml0.throttle.power_brake"}));
    EXPECT_EQ(reader.sensors()[0].label, "nvml0 (Stand-in GPU) graphics clock");
    EXPECT_EQ(reader.problems(), (std::vector<std::string>{
                                     "nvml0 (Stand-in GPU) temperature (nvml0.temp): NVML: Insufficient Permissions"}));
    byKey(reader, 1);
    const Values values = readingWithoutAllocation(reader, 1.5);
    const Values expected = {{"nvml0.clock.graphics", 1530}, {"nvml0.clock.memory", 7001}, {"nvml0.busy", 0.42},
                             {"nvml0.power", 71.5}, {"nvml0.energy", 7.5}, {"nvml0.throttle.sw_power_cap", 1},
                             {"nvml0.throttle.hw_slowdown", 0}, {"nvml0.throttle.sw_thermal", 0},
                             {"nvml0.throttle.hw_thermal", 1}, {"nvml0.throttle.power_brake", 0}};
    for (const auto& [key, value] : expected) EXPECT_NEAR(values.at(key), value, 1e-9) << key;

    // No library: nothing to say. A library that is not NVML's: said once.
    EXPECT_TRUE(MachineReader({tree.root(), 0, tree.path("libnvidia-ml.so.1")}).problems().empty());
    const std::vector<std::string> wrong = MachineReader({tree.root(), 0, "libm.so.6"}).problems();
    ASSERT_EQ(wrong.size(), 1u);
    EXPECT_TRUE(wrong[0].starts_with("NVML (libm.so.6): not the library expected")) << wrong[0];
}

}  // namespace
