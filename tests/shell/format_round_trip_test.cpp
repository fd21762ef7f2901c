// The programs' own formatters write a results file of each program through
// the shell's sinks; lumenfold's reader reads it back. Every figure must come
// back as it was printed, with nothing reported wrong: the writer and the
// reader share one definition of the text, and this holds them to it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "clock.h"
#include "cube_frame.h"
#include "fill.h"
#include "model/results_file.h"
#include "sinks.h"
#include "timing.h"
#include "triangles_frame.h"

namespace {

int windowSeven() { return 7; }

std::string printed(double value) {
    char text[48];
    formatNumber(text, sizeof text, value);
    return text;
}

std::string problemsOf(const ResultsRun& run) {
    std::string all;
    for (const Problem& p : run.problems) all += std::to_string(p.line) + ": " + p.message + "\n";
    return all;
}

// A results file written the way a run writes it: banner, set-up line, the
// frames that writeFrames reports, and the summary at Esc.
class RoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/lumenfold-round-tripXXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        path = name;
        useResultsFile(fdopen(fd, "w"), name);
        // The console half of each line is not looked at here.
        testing::internal::CaptureStdout();
    }

    ResultsRun finish(const ProgramText& text, const RunTotals& totals) {
        reportSummary(text.summary, totals);
        closeResultsFile();
        testing::internal::GetCapturedStdout();
        return readResultsFile(path);
    }

    void TearDown() override { unlink(path.c_str()); }

    std::string path;
};

// Frame times in ticks, a zero included: its rates are infinite.
const int32_t frameTicks[] = {787, 1033, 0, 1, 65432};

TEST_F(RoundTrip, Triangles) {
    printBanner(trianglesText);
    reportSetupTime(3.189);
    TrianglesTotals totals{};
    TrianglesFrame frames[5];
    for (int i = 0; i < 5; ++i) {
        frames[i] = trianglesFrame(indexCountForStep(1.0 + i * 4000.0), ticksToSeconds(frameTicks[i]));
        char lines[trianglesFrameLineCount][reportLineCapacity];
        formatTrianglesFrame(lines, frames[i]);
        reportFrame(windowSeven, lines, trianglesFrameLineCount);
        addFrame(totals, frameTicks[i]);
    }
    const RunTotals run = summaryTotals(totals);
    const ResultsRun read = finish(trianglesText, run);

    EXPECT_TRUE(read.problems.empty()) << problemsOf(read);
    ASSERT_TRUE(read.recognised);
    EXPECT_EQ(read.program, findProgram("triangles"));
    EXPECT_EQ(read.setupSeconds, 3.189);
    ASSERT_EQ(read.frames.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        const Frame& f = read.frames[i];
        EXPECT_EQ(f.window, 7);
        EXPECT_EQ(printed(f.triangles), printed(frames[i].triangles)) << i;
        EXPECT_EQ(printed(f.seconds), printed(frames[i].seconds)) << i;
        EXPECT_EQ(printed(f.anglesPerSecond), printed(frames[i].anglesPerSec)) << i;
        EXPECT_EQ(printed(f.rate), printed(frames[i].trianglesPerSec)) << i;
        EXPECT_EQ(f.step, 1 + i * 4000) << i;
    }
    ASSERT_TRUE(read.summary.present);
    EXPECT_EQ(printed(read.summary.totalSeconds), printed(run.seconds));
    EXPECT_EQ(printed(read.summary.averageAnglesPerSecond), printed(run.frames / run.seconds));
}

TEST_F(RoundTrip, Cube) {
    printBanner(cubeText);
    reportSetupTime(12.5);
    CubeTotals totals{};
    CubeFrame frames[5];
    for (int i = 0; i < 5; ++i) {
        frames[i] = cubeFrame(ticksToSeconds(frameTicks[i]));
        char lines[cubeFrameLineCount][reportLineCapacity];
        formatCubeFrame(lines, frames[i]);
        reportFrame(windowSeven, lines, cubeFrameLineCount);
        addFrame(totals, frameTicks[i]);
    }
    const RunTotals run = summaryTotals(totals);
    const ResultsRun read = finish(cubeText, run);

    EXPECT_TRUE(read.problems.empty()) << problemsOf(read);
    EXPECT_EQ(read.program, findProgram("cube"));
    EXPECT_EQ(read.setupSeconds, 12.5);
    ASSERT_EQ(read.frames.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        const Frame& f = read.frames[i];
        EXPECT_EQ(f.window, 7);
        EXPECT_EQ(printed(f.seconds), printed(frames[i].seconds)) << i;
        EXPECT_EQ(printed(f.anglesPerSecond), printed(frames[i].anglesPerSec)) << i;
        EXPECT_EQ(printed(f.rate), printed(frames[i].verticesPerSec)) << i;
    }
    ASSERT_TRUE(read.summary.present);
    EXPECT_EQ(printed(read.summary.totalSeconds), printed(run.seconds));
    EXPECT_EQ(printed(read.summary.averageAnglesPerSecond), printed(run.frames / run.seconds));
    EXPECT_EQ(printed(read.summary.averageVerticesPerSecond), printed(run.vertices / run.seconds));
}

TEST_F(RoundTrip, Streaming) {
    printBanner(streamingText);
    reportSetupTime(0.002);
    kernelTiming timings[2][3];
    for (int frame = 0; frame < 2; ++frame) {
        for (int kernel = 0; kernel < 3; ++kernel) {
            kernelTiming& t = timings[frame][kernel];
            t = kernelTiming{1000, 1000 + frameTicks[frame * 3 + kernel - frame], 0, 0.0, 0.0};
            finishTiming(t);
            reportKernelBlock(windowSeven, kernel, t);
        }
        reportFrameEnd();
    }
    const ResultsRun read = finish(streamingText, RunTotals{});

    EXPECT_TRUE(read.problems.empty()) << problemsOf(read);
    EXPECT_EQ(read.program, findProgram("streaming"));
    EXPECT_EQ(read.setupSeconds, 0.002);
    EXPECT_EQ(read.completeFrames, 2);
    ASSERT_EQ(read.kernels.size(), 3u);
    for (size_t kernel = 0; kernel < 3; ++kernel) {
        ASSERT_EQ(read.kernels[kernel].size(), 2u) << kernel;
        for (int frame = 0; frame < 2; ++frame) {
            const KernelBlock& block = read.kernels[kernel][frame];
            const kernelTiming& t = timings[frame][kernel];
            EXPECT_EQ(block.window, 7);
            EXPECT_EQ(printed(block.seconds), printed(t.seconds)) << frame << kernel;
            EXPECT_EQ(printed(block.millionsPerSecond), printed(t.executionsPerSecond / 1e6))
                << frame << kernel;
        }
    }
}

}  // namespace
