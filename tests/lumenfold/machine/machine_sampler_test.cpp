#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "fixture_tree.h"
#include "machine/machine_sampler.h"
#include "model/machine_samples.h"

namespace {

MachineSamples readBack(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return parseMachineSamples(text.str(), path);
}

// Polls until the condition holds; false after ten seconds.
bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void buildMachine(const FixtureTree& tree) {
    tree.write("sys/class/thermal/thermal_zone0/temp", "45000\n");
    tree.write("sys/class/powercap/intel-rapl:0/name", "package-0\n");
    tree.write("sys/class/powercap/intel-rapl:0/energy_uj", "1000000\n");
}

TEST(MachineSampler, WritesEachSampleAsItIsTaken) {
    FixtureTree tree;
    buildMachine(tree);
    const std::string path = tree.path("results_1.samples.csv");
    MachineSampler sampler({tree.root(), 0, ""}, path, 5);
    std::string error;
    ASSERT_TRUE(sampler.start(error)) << error;
    // Read while the sampler writes: every line there is whole.
    ASSERT_TRUE(waitFor([&] { return readBack(path).times.size() >= 3; }));
    MachineSamples midway = readBack(path);
    EXPECT_TRUE(midway.problems.empty()) << ::testing::PrintToString(midway.problems);

    // A value that changes is seen; the counter grows by 2 J.
    tree.replace("sys/class/thermal/thermal_zone0/temp", "51000\n");
    tree.replace("sys/class/powercap/intel-rapl:0/energy_uj", "3000000\n");
    ASSERT_TRUE(waitFor([&] {
        const MachineSamples now = readBack(path);
        return !now.times.empty() && now.values[0].back() == 51 && now.values[1].back() == 2;
    }));
    sampler.stop();
    sampler.stop();

    const MachineSamples samples = readBack(path);
    EXPECT_TRUE(samples.problems.empty()) << ::testing::PrintToString(samples.problems);
    ASSERT_EQ(samples.columns.size(), 3u);
    EXPECT_EQ(samples.columns[1].key + "[" + samples.columns[1].unit + "]", "intel-rapl.0.energy[J]");
    EXPECT_EQ(samples.times.size(), sampler.samples());
    EXPECT_EQ(samples.values[0].front(), 45);
    EXPECT_EQ(samples.values[1].front(), 0);
    EXPECT_TRUE(std::isnan(samples.values[2].front()));   // no power before a second reading
    EXPECT_EQ(samples.values[0].back(), 51);
    EXPECT_TRUE(sampler.problems().empty()) << ::testing::PrintToString(sampler.problems());
    EXPECT_GT(sampler.wallSeconds(), 0);
}

// A run killed with SIGKILL leaves every sample it took, each line whole.
TEST(MachineSampler, AKilledRunKeepsWhatWasSampled) {
    FixtureTree tree;
    buildMachine(tree);
    const std::string path = tree.path("results_1.samples.csv");
    const pid_t child = fork();
    if (child == 0) {
        MachineSampler sampler({tree.root(), 0, ""}, path, 2);
        std::string error;
        if (!sampler.start(error)) _exit(1);
        for (;;) pause();
    }
    ASSERT_GT(child, 0);
    const bool sampled = waitFor([&] { return readBack(path).times.size() >= 5; });
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(sampled);
    ASSERT_TRUE(WIFSIGNALED(status));
    const MachineSamples samples = readBack(path);
    EXPECT_GE(samples.times.size(), 5u);
    EXPECT_TRUE(samples.problems.empty()) << ::testing::PrintToString(samples.problems);
}

TEST(MachineSampler, AFileThatCannotBeWrittenIsSaid) {
    FixtureTree tree;
    buildMachine(tree);
    std::string error;
    MachineSampler nowhere({tree.root(), 0, ""}, tree.path("missing/results_1.samples.csv"), 100);
    EXPECT_FALSE(nowhere.start(error));
    EXPECT_EQ(error, "cannot create the samples file " + tree.path("missing/results_1.samples.csv") +
                         ": No such file or directory");
    MachineSampler full({tree.root(), 0, ""}, "/dev/full", 100);
    EXPECT_FALSE(full.start(error));
    EXPECT_EQ(error, "cannot write the samples file /dev/full: No space left on device");
    full.stop();
}

}  // namespace
