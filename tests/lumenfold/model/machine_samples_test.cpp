#include <gtest/gtest.h>

#include <cmath>

#include "model/machine_samples.h"

namespace {

// Five samples half a second apart: a temperature with one value missing,
// an energy counter and its power, and a GPU power alone.
const std::string samplesText =
    "time[s],thermal_zone0.temp[degC],intel-rapl.0.energy[J],intel-rapl.0.power[W],amdgpu.power1[W]\n"
    "0.000,50,0,,10\n"
    "0.500,52,4,8,20\n"
    "1.000,,9,10,30\n"
    "1.500,61,13,8,\n"
    "2.000,55,20,14,10\n";

TEST(MachineSamples, SummaryGivesEachSensorsRangeAndTheRunsEnergy) {
    const MachineSamples samples = parseMachineSamples(samplesText, "results_1.samples.csv");
    ASSERT_TRUE(samples.problems.empty()) << ::testing::PrintToString(samples.problems);
    const SamplesSummary summary = summariseSamples(samples);
    EXPECT_EQ(summary.samples, 5u);
    EXPECT_DOUBLE_EQ(summary.seconds, 2);

    ASSERT_EQ(summary.sensors.size(), 4u);
    const SensorSummary& temp = summary.sensors[0];
    EXPECT_EQ(temp.key, "thermal_zone0.temp");
    EXPECT_EQ(temp.unit, "degC");
    EXPECT_EQ(temp.count, 4u);
    EXPECT_EQ(temp.missing, 1u);
    EXPECT_DOUBLE_EQ(temp.min, 50);
    EXPECT_DOUBLE_EQ(temp.median, 53.5);
    EXPECT_DOUBLE_EQ(temp.max, 61);
    EXPECT_DOUBLE_EQ(summary.sensors[1].median, 9);

    // The counter's difference; the RAPL power is not counted twice; the GPU's
    // power integrated where two readings are next to each other.
    ASSERT_EQ(summary.energy.size(), 2u);
    const EnergyMeter& rapl = summary.energy[0];
    EXPECT_EQ(rapl.key, "intel-rapl.0.energy");
    EXPECT_TRUE(rapl.fromCounter);
    EXPECT_DOUBLE_EQ(rapl.joules, 20);
    EXPECT_DOUBLE_EQ(rapl.seconds, 2);
    EXPECT_FALSE(rapl.partial);
    const EnergyMeter& gpu = summary.energy[1];
    EXPECT_EQ(gpu.key, "amdgpu.power1");
    EXPECT_FALSE(gpu.fromCounter);
    EXPECT_DOUBLE_EQ(gpu.joules, 7.5 + 12.5);
    EXPECT_DOUBLE_EQ(gpu.seconds, 1);
    EXPECT_TRUE(gpu.partial);

    const std::optional<FrameEnergy> perFrame = frameEnergy(rapl, 80);
    ASSERT_TRUE(perFrame);
    EXPECT_DOUBLE_EQ(perFrame->joulesPerFrame, 0.25);
    EXPECT_DOUBLE_EQ(perFrame->framesPerJoule, 4);
    EXPECT_FALSE(frameEnergy(rapl, 0));
    EXPECT_FALSE(frameEnergy(EnergyMeter{"x.energy", true, 0, 2}, 80));

    // A sensor never read gives no range, and no energy.
    const SamplesSummary empty = summariseSamples(parseMachineSamples("time[s],a.power[W]\n0,\n1,\n", "s.csv"));
    EXPECT_TRUE(std::isnan(empty.sensors[0].median));
    EXPECT_EQ(empty.sensors[0].missing, 2u);
    EXPECT_TRUE(empty.energy.empty());
}

TEST(MachineSamples, DamagedFilesAreReadAsFarAsTheyAreWhole) {
    const std::string damaged = "time[s],a.temp[degC],b.energy[J]\n"
                                "0.0,50,0\n"
                                "0.1,51\n"
                                "0.2,x,1\n"
                                "0.3,52,2\n"
                                "0.25,53,3\n"
                                "0.4,nan,4\n"
                                "0.5,54,5\n"
                                "0.6,55,";
    const MachineSamples samples = parseMachineSamples(damaged, "runs/\x1b.csv");
    EXPECT_EQ(samples.times, (std::vector<double>{0.0, 0.3, 0.5}));
    EXPECT_EQ(samples.values[1], (std::vector<double>{0, 2, 5}));
    EXPECT_EQ(samples.problems,
              (std::vector<std::string>{"runs/\\x1b.csv:3: 2 fields where the header names 3",
                                        "runs/\\x1b.csv:4: the value of a.temp is not a number",
                                        "runs/\\x1b.csv:6: the time goes back",
                                        "runs/\\x1b.csv:7: the value of a.temp is not a number",
                                        "runs/\\x1b.csv:9: the last line is cut short "
                                        "(the run stopped while writing it)"}));

    for (const char* header : {"", "when,a[W]\n0,1\n", "time[s],a\n", "time[s],a b[W]\n", "time[s],[W]\n"}) {
        const MachineSamples bad = parseMachineSamples(header, "s.csv");
        EXPECT_TRUE(bad.columns.empty() && bad.times.empty()) << header;
        EXPECT_EQ(bad.problems.size(), 1u) << header;
    }
}

TEST(MachineSamples, KeysAndNamesAreSafeForTheFile) {
    EXPECT_EQ(samplesKey("k10temp"), "k10temp");
    EXPECT_EQ(samplesKey("my chip,[x]"), "my_chip__x_");
    EXPECT_EQ(samplesKey(""), "_");
    const std::vector<SamplesColumn> columns = {{samplesKey("nv me"), "degC"}, {"intel-rapl.0.energy", "J"}};
    const MachineSamples back = parseMachineSamples(samplesHeader(columns) + "0.000,40,0\n", "s.csv");
    ASSERT_EQ(back.columns.size(), 2u);
    EXPECT_EQ(back.columns[0].key, "nv_me");
    EXPECT_EQ(back.columns[1].unit, "J");
    EXPECT_EQ(samplesPathFor("runs/results_cube_1.txt"), "runs/results_cube_1.samples.csv");
    EXPECT_EQ(samplesPathFor("runs/odd"), "runs/odd.samples.csv");
}

}  // namespace
