#include <gtest/gtest.h>

#include "model/nightly_config.h"

TEST(NightlyConfig, ReadsEveryKeyAndFillsDefaults) {
    NightlyConfig config;
    std::string error;
    ASSERT_TRUE(parseNightlyConfig(R"(
machine = "rig-3"   # a comment
store = "postgresql:///perf?host=/run/postgresql"
notify = "https://hooks.example.com/services/T/B/X"
dashboard = "/srv/lumenfold"
stale_hours = 12.5
[suite]
programs = ["cube", "streaming"]
seconds = 30
repeat = 3
dir = "/var/lib/lumenfold/runs"
)", "night.toml", config, error)) << error;
    EXPECT_EQ(config.machine, "rig-3");
    EXPECT_EQ(config.store, "postgresql:///perf?host=/run/postgresql");
    EXPECT_EQ(config.notifyUrl, "https://hooks.example.com/services/T/B/X");
    EXPECT_EQ(config.dashboardDir, "/srv/lumenfold");
    EXPECT_EQ(config.staleHours, 12.5);
    EXPECT_EQ(config.programs, (std::vector<std::string>{"cube", "streaming"}));
    EXPECT_EQ(config.frames, 0);
    EXPECT_EQ(config.seconds, 30);
    EXPECT_EQ(config.repeat, 3);
    EXPECT_EQ(config.runsDir, "/var/lib/lumenfold/runs");

    NightlyConfig empty;
    ASSERT_TRUE(parseNightlyConfig("", "empty.toml", empty, error)) << error;
    EXPECT_EQ(empty.frames, 5);
    EXPECT_EQ(empty.repeat, 1);
    EXPECT_EQ(empty.staleHours, 36);
    EXPECT_TRUE(empty.programs.empty());
}

TEST(NightlyConfig, RefusesWhatWouldBeSilentlyWrong) {
    const std::pair<const char*, const char*> bad[] = {
        {"machine = \"a\"\nstroe = \"x\"\n", "unknown key \"stroe\""},
        {"[suite]\nframs = 3\n", "unknown key \"frams\" in [suite]"},
        {"[suite]\nframes = 3\nseconds = 10\n", "frames or seconds, not both"},
        {"[suite]\nrepeat = 0\n", "\"repeat\" must be a positive number"},
        {"stale_hours = -1\n", "\"stale_hours\" must be a positive number"},
        {"machine = 3\n", "night.toml"},
        {"machine = \"a\n", "night.toml"},
    };
    for (const auto& [text, expected] : bad) {
        NightlyConfig config;
        std::string error;
        EXPECT_FALSE(parseNightlyConfig(text, "night.toml", config, error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << "\n" << error;
    }
    NightlyConfig config;
    std::string error;
    EXPECT_FALSE(readNightlyConfig("/nonexistent/night.toml", config, error));
    EXPECT_NE(error.find("cannot read the configuration /nonexistent/night.toml"), std::string::npos) << error;
}
