#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "run/conditions.h"

namespace {

namespace fs = std::filesystem;

MachineConditions quiet() {
    MachineConditions c;
    c.governors = {"performance"};
    c.boost = 0;
    c.loadAverage = 0.4;
    c.processors = 4;
    c.renderer = "AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6, DRM 3.49, 6.1.0-13-amd64)";
    c.swapKnown = true;
    c.swapInterval = 0;
    return c;
}

TEST(Conditions, AQuietMachineGivesNoWarning) { EXPECT_TRUE(conditionWarnings(quiet()).empty()); }

TEST(Conditions, EachProblemGivesOneLine) {
    MachineConditions c = quiet();
    c.governors = {"performance", "powersave"};
    c.boost = 1;
    c.loadAverage = 2.61;
    c.processors = 2;
    c.renderer = "llvmpipe (LLVM 15.0.6, 256 bits)";
    c.swapInterval = 1;
    c.virtualX = "Xvfb on :3";
    const std::vector<std::string> expected = {
        "CPU frequency governor performance, powersave rather than performance: the clock may change during the run",
        "CPU boost (turbo) is on: the clock depends on temperature and on the other work",
        "load average 2.61 at start on 2 logical processors: other work competes for the CPU",
        "software rasteriser (renderer \"llvmpipe (LLVM 15.0.6, 256 bits)\"): the figures measure the CPU, not a GPU",
        "swap interval 1 in force: frames wait for the display's refresh",
        "virtual X server (Xvfb on :3): nothing reaches a real screen"};
    EXPECT_EQ(conditionWarnings(c), expected);
    // A series says each kind once: a new reading is no new kind, a new problem is.
    EXPECT_EQ(warningKind(expected[2]), "load average # at start on # logical processors: other work competes for the CPU");
    EXPECT_EQ(warningKind("load average 10.2 at start on 2 logical processors: other work competes for the CPU"),
              warningKind(expected[2]));
    EXPECT_NE(warningKind(expected[0]), warningKind(expected[1]));
}

TEST(Conditions, BordersAndUnknowns) {
    MachineConditions c = quiet();
    c.loadAverage = 2.0;  // exactly half of four: still quiet
    EXPECT_TRUE(conditionWarnings(c).empty());
    c.loadAverage = 2.01;
    EXPECT_EQ(conditionWarnings(c).size(), 1u);

    // What the machine does not show is no warning, except a swap interval
    // that nobody could confirm is 0.
    MachineConditions unknown;
    EXPECT_EQ(conditionWarnings(unknown),
              std::vector<std::string>{"the swap interval could not be read: frames may wait for the display's refresh"});
    for (const char* renderer : {"Gallium 0.4 on SoftPipe", "Mesa swrast", "LLVMPIPE"}) {
        MachineConditions software = quiet();
        software.renderer = renderer;
        EXPECT_EQ(conditionWarnings(software).size(), 1u) << renderer;
    }
}

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
}

TEST(Conditions, ReadsGovernorsAndBoostFromSysfs) {
    const fs::path root = fs::temp_directory_path() / ("lumenfold-sysfs-" + std::to_string(getpid()));
    fs::remove_all(root);
    write(root / "cpu0" / "cpufreq" / "scaling_governor", "schedutil");
    write(root / "cpu1" / "cpufreq" / "scaling_governor", "schedutil");
    write(root / "cpu12" / "cpufreq" / "scaling_governor", "performance");
    write(root / "cpufreq" / "policy0" / "scaling_governor", "ignored");  // not a cpuN directory
    write(root / "intel_pstate" / "no_turbo", "0");
    MachineConditions c;
    readCpuFrequency(root.string(), c);
    EXPECT_EQ(c.governors, (std::vector<std::string>{"performance", "schedutil"}));
    EXPECT_EQ(c.boost, 1);
    // The generic switch wins over the driver's.
    write(root / "cpufreq" / "boost", "0");
    readCpuFrequency(root.string(), c);
    EXPECT_EQ(c.boost, 0);

    MachineConditions none;
    readCpuFrequency((root / "missing").string(), none);
    EXPECT_TRUE(none.governors.empty());
    EXPECT_EQ(none.boost, -1);
    fs::remove_all(root);

    EXPECT_DOUBLE_EQ(parseLoadAverage("2.61 1.10 0.44 3/512 12345\n"), 2.61);
    EXPECT_LT(parseLoadAverage(""), 0);
}

}  // namespace
