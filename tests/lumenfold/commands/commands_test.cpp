// Each command's options as the command line gives them, and the requests
// each refuses before it starts any work, without starting lumenfold.
#include <gtest/gtest.h>

#include <filesystem>

#include "commands/compare_command.h"
#include "commands/history_command.h"
#include "commands/report_command.h"
#include "commands/run_command.h"
#include "commands/validate_command.h"
#include "common/files.h"
#include "fixtures.h"

namespace fs = std::filesystem;

namespace {

// The run command's options after parsing line; false when the command line refuses it.
bool parsedRun(const std::string& line, RunCommandOptions& options) {
    CLI::App app;
    addRunCommand(app, options);
    try {
        app.parse(line, false);
    } catch (const CLI::ParseError&) {
        return false;
    }
    return true;
}

TEST(RunCommand, FramesOrSecondsAndOneKindOfSeries) {
    RunCommandOptions o;
    ASSERT_TRUE(parsedRun("run cube", o));
    EXPECT_EQ(o.run.program, "cube");
    EXPECT_EQ(o.run.limits.frames, 5);
    RunCommandOptions timed;
    ASSERT_TRUE(parsedRun("run streaming --seconds 2.5 --until-stable 2 --max-runs 4", timed));
    EXPECT_EQ(timed.run.limits.frames, 0);
    EXPECT_EQ(timed.run.limits.seconds, 2.5);
    EXPECT_EQ(timed.plan.stablePercent, 2);
    EXPECT_EQ(timed.plan.maxRuns, 4);
    for (const char* refused : {"run", "run dodecahedron", "run cube --frames 5 --seconds 3", "run cube --frames 0",
                                "run cube --max-runs 5", "run cube --repeat 2 --until-stable 5",
                                "run cube --until-stable 5 --max-runs 2", "run cube --hang-timeout 0"}) {
        RunCommandOptions bad;
        EXPECT_FALSE(parsedRun(refused, bad)) << refused;
    }
}

TEST(CompareCommand, TwoFilesOrSidesWithVs) {
    CompareOptions two{{"a.txt", "b.txt"}, {}, "", 0, ""};
    ASSERT_TRUE(splitSides(two));
    EXPECT_EQ(two.sideA, std::vector<std::string>{"a.txt"});
    EXPECT_EQ(two.sideB, std::vector<std::string>{"b.txt"});
    CompareOptions sides{{"a1", "a2", "a3"}, {"b"}, "", 0, ""};
    ASSERT_TRUE(splitSides(sides));
    EXPECT_EQ(sides.sideA.size(), 3u);
    // One file, or three without --vs: no telling the sides apart, and nothing read.
    EXPECT_EQ(compareCommand(CompareOptions{{"/nonexistent/a.txt"}, {}, "", 0, ""}), 2);
    EXPECT_EQ(compareCommand(CompareOptions{{"a", "b", "c"}, {}, "", 0, ""}), 2);
}

TEST(ValidateCommand, BadRequestsAreRefusedBeforeAnyRun) {
    ValidateOptions o;
    o.program = "cube";
    o.steps = "0,x";
    EXPECT_EQ(validateCommand(o), 2);
    o.steps = "1,2";
    o.reference = "/nonexistent/captures";
    EXPECT_EQ(validateCommand(o), 2);
    // Kept captures in the very directory this validation would capture into.
    const fs::path dir = fs::temp_directory_path() / "lumenfold-validate-command-test";
    fs::create_directories(dir / "drawn");
    o.directory = dir.string();
    o.reference = (dir / "drawn").string();
    EXPECT_EQ(validateCommand(o), 2);
    fs::remove_all(dir);
}

// The history's subcommands as parsing picks them, run on a store of their own.
class HistoryCommand : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumenfold-history-command-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        std::string error;
        ASSERT_TRUE(writeWholeFile(dir + "/results_cube.txt", cubeFile, error)) << error;
    }
    void TearDown() override { fs::remove_all(dir); }

    int history(const std::string& arguments) {
        CLI::App app;
        HistoryOptions options;
        addHistoryCommand(app, options);
        app.parse("history --db " + dir + "/store.sqlite " + arguments, false);
        return historyCommand(options);
    }

    std::string dir;
};

TEST_F(HistoryCommand, SubcommandsReachTheirWork) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(history("add " + dir), 0);
    EXPECT_EQ(history("add " + dir + "/results_cube.txt"), 0);
    EXPECT_EQ(history("exclude 1 --reason odd"), 0);
    EXPECT_EQ(history("list --program cube"), 0);
    EXPECT_EQ(history("check"), 0);
    fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("added 1 run, 0 already there\n"), std::string::npos) << out;
    EXPECT_NE(out.find("added 0 runs, 1 already there\n"), std::string::npos) << out;
    EXPECT_NE(out.find("run 1 excluded: odd\n"), std::string::npos) << out;
    EXPECT_NE(out.find("[excluded: odd]\n1 run\n"), std::string::npos) << out;
    EXPECT_NE(out.find("0 change points in 0 series\n"), std::string::npos) << out;

    testing::internal::CaptureStderr();
    EXPECT_EQ(history("include 7"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "lumenfold: no run 7 in the history store\n");
    EXPECT_THROW(history("list --format xml"), CLI::ValidationError);
    EXPECT_THROW(history("list --program dodecahedron"), CLI::ValidationError);
}

TEST(ReportCommand, AFileThatCannotBeReadFailsTheReport) {
    CLI::App app;
    ReportOptions o;
    addReportCommand(app, o);
    EXPECT_THROW(app.parse("report --format xml x.txt", false), CLI::ValidationError);
    app.parse("report --format json --skip-frames 1 /nonexistent/results.txt", false);
    EXPECT_EQ(o.format, "json");
    EXPECT_EQ(o.skipFrames, 1);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(reportCommand(o), 1);
    fflush(stdout);
    testing::internal::GetCapturedStdout();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("/nonexistent/results.txt"), std::string::npos);
}

}  // namespace
