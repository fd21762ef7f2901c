#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "run/console_log.h"
#include "run/progress.h"

namespace {

TEST(Progress, OneLineFromSetUpToTheLastFrame) {
    RunProgress p{"cube", "run 2 of 5", 0, 50, 0, 4.2, -1, 0, ""};
    EXPECT_EQ(progressText(p), "cube, run 2 of 5: setting up, 0:05 elapsed");
    // R pressed, no frame timed yet (the one drawn as the window showed came
    // before R): nothing to estimate from.
    p.running = 1;
    p.frames = 1;
    p.lastFrameAt = -1;
    EXPECT_EQ(progressText(p), "cube, run 2 of 5: frame 1 of 50, 0:05 elapsed");
    // 10 frames in 20 s: 40 more take about 80 s, counting down from the
    // tenth frame's report.
    p = {"cube", "run 2 of 5", 10, 50, 0, 25, 20, 20, "8.39e+06 vertices/s"};
    EXPECT_EQ(progressText(p), "cube, run 2 of 5: frame 10 of 50, 0:25 elapsed, about 1:20 left, 8.39e+06 vertices/s");
    p.running = 23;
    EXPECT_NE(progressText(p).find(", about 1:17 left,"), std::string::npos);
    // The frame running when P arrives is reported too: never a negative time left.
    p.frames = 51;
    EXPECT_NE(progressText(p).find("frame 51 of 50, 0:25 elapsed, about 0:00 left"), std::string::npos);
    // By time, counted from R.
    p = {"streaming", "run 1 of 1", 7, 0, 3600, 4000, 3590.5, 3500, ""};
    EXPECT_EQ(progressText(p), "streaming, run 1 of 1: 3590 s of 3600 s, frame 7, 1:06:40 elapsed, about 0:10 left");
    EXPECT_EQ(durationText(59.2), "1:00");
    EXPECT_EQ(durationText(-3), "0:00");
}

std::string contents(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ConsoleLog, EndsBesideTheResultsFileWithoutReplacingAnything) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("lumenfold-log-test-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string results = (dir / "results_cube_x.txt").string();
    std::string error;

    ConsoleLog log;
    ASSERT_TRUE(log.open(dir.string(), "cube", error)) << error;
    log.line("It was: 4 Angles/sec.");
    log.line("");
    EXPECT_EQ(log.finish(results, error), (dir / "results_cube_x.log").string());
    EXPECT_EQ(error, "");
    EXPECT_EQ(contents((dir / "results_cube_x.log").string()), "It was: 4 Angles/sec.\n\n");

    // A log already there is kept; the new one stays under its own name.
    ConsoleLog second;
    ASSERT_TRUE(second.open(dir.string(), "cube", error)) << error;
    second.line("second");
    const std::string kept = second.finish(results, error);
    EXPECT_NE(kept, (dir / "results_cube_x.log").string());
    EXPECT_NE(error.find("it stays at " + kept), std::string::npos);
    EXPECT_EQ(contents(kept), "second\n");
    EXPECT_EQ(contents((dir / "results_cube_x.log").string()), "It was: 4 Angles/sec.\n\n");

    // No results file: the log stays, found by the name given back.
    ConsoleLog third;
    ASSERT_TRUE(third.open(dir.string(), "cube", error)) << error;
    third.line("crashed");
    EXPECT_EQ(contents(third.finish("", error)), "crashed\n");
    EXPECT_FALSE(third.open((dir / "missing").string(), "cube", error));
    fs::remove_all(dir);
}

}  // namespace
