#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "model/timing_file.h"
#include "timing/swap_records.h"

namespace {

const std::string header = "lumenfold-timing 1\ncolumns frame swap step kind present_ns cpu_ns\n"
                           "columns gpu swap gpu_ns\n";
const std::string available = header + "gpu available GL_ARB_timer_query GL_TIME_ELAPSED\n";

// The lines as the library writes them.
std::string frameLine(long long swap, long step, SwapKind kind, long long present, long long cpu) {
    char text[timingLineCapacity];
    return std::string(text, formatFrameLine(text, swap, {step, kind}, present, cpu));
}

std::string gpuLine(long long swap, GpuOutcome outcome, uint64_t ns = 0) {
    char text[timingLineCapacity];
    return std::string(text, formatGpuLine(text, {swap, outcome, ns}));
}

std::vector<int> problemLines(const TimingFile& file) {
    std::vector<int> lines;
    for (const Problem& p : file.problems) lines.push_back(p.line);
    return lines;
}

TEST(TimingFile, ReadsWhatTheLibraryWritesAndSumsEachDrawing) {
    // A streaming-like drawing of four swaps, a redraw, and results that come late or not at all.
    const std::string text =
        available + frameLine(1, 1, SwapKind::newStep, 2000000000, 1500000000) +
        frameLine(2, 1, SwapKind::more, 500000000, 400000000) + gpuLine(1, GpuOutcome::time, 1250000000) +
        frameLine(3, 1, SwapKind::more, 250000000, -1) + gpuLine(2, GpuOutcome::time, 18446744073709551615ULL) +
        frameLine(4, 2, SwapKind::newStep, 10000000, 9000000) + gpuLine(3, GpuOutcome::overrun) +
        frameLine(5, 2, SwapKind::redraw, 20000000, 19000000) + gpuLine(4, GpuOutcome::time, 7000000) +
        gpuLine(5, GpuOutcome::disjoint) + frameLine(6, 3, SwapKind::newStep, 30000000, 29000000) +
        frameLine(7, 4, SwapKind::newStep, 40000000, 39000000) + gpuLine(6, GpuOutcome::impossible) +
        frameLine(8, 5, SwapKind::newStep, 50000000, 49000000) + gpuLine(8, GpuOutcome::untimed);
    const TimingFile file = parseTimingText(text, "t.txt");
    ASSERT_TRUE(file.recognised);
    EXPECT_TRUE(file.problems.empty()) << file.problems[0].message;
    EXPECT_TRUE(file.gpuAvailable);
    EXPECT_EQ(file.gpuNote, "GL_ARB_timer_query GL_TIME_ELAPSED");
    ASSERT_EQ(file.swaps.size(), 8u);
    EXPECT_DOUBLE_EQ(file.swaps[0].presentSeconds, 2.0);
    EXPECT_DOUBLE_EQ(file.swaps[0].cpuSeconds, 1.5);
    EXPECT_DOUBLE_EQ(file.swaps[0].gpuSeconds, 1.25);
    EXPECT_DOUBLE_EQ(file.swaps[1].gpuSeconds, 18446744073.709551615);
    EXPECT_TRUE(std::isnan(file.swaps[2].cpuSeconds));
    EXPECT_EQ(file.swaps[2].gpuMissing, "the GPU's result was not ready before its query was needed again");
    EXPECT_NE(file.swaps[4].gpuMissing.find("disjoint"), std::string::npos);
    EXPECT_NE(file.swaps[5].gpuMissing.find("longer than"), std::string::npos);
    EXPECT_EQ(file.swaps[6].gpuMissing, "not read back before the program ended");
    EXPECT_NE(file.swaps[7].gpuMissing.find("no query ran"), std::string::npos);

    const std::vector<FrameTiming> frames = timingFrames(file);
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ((std::vector<long>{frames[0].step, frames[1].step, frames[2].step, frames[3].step}),
              (std::vector<long>{1, 2, 2, 3}));
    EXPECT_EQ(frames[0].swaps, 3);
    EXPECT_DOUBLE_EQ(frames[0].presentSeconds, 2.75);
    // A time missing from one of its swaps leaves the drawing's unknown, with the reason.
    EXPECT_TRUE(std::isnan(frames[0].cpuSeconds));
    EXPECT_TRUE(std::isnan(frames[0].gpuSeconds));
    EXPECT_NE(frames[0].gpuMissing.find("not ready"), std::string::npos);
    EXPECT_FALSE(frames[1].redraw);
    EXPECT_TRUE(frames[2].redraw);
    EXPECT_EQ(frames[2].firstSwap, 5);
    EXPECT_DOUBLE_EQ(frames[1].gpuSeconds, 0.007);
    EXPECT_DOUBLE_EQ(frames[1].cpuSeconds, 0.009);
}

TEST(TimingFile, SaysWhyThereIsNoGpuTimeAndKeepsTheRest) {
    const std::string text = header + "gpu unavailable the driver offers no GL_ARB_timer_query \x1b[2J\n" +
                             frameLine(1, 0, SwapKind::more, -1, -1) + frameLine(2, 7, SwapKind::newStep, 5, 6);
    const TimingFile file = parseTimingText(text, "t.txt");
    EXPECT_TRUE(file.problems.empty());
    EXPECT_FALSE(file.gpuAvailable);
    // The driver's words reach a terminal only made safe.
    EXPECT_EQ(file.gpuNote, "the driver offers no GL_ARB_timer_query \\x1b[2J");
    ASSERT_EQ(file.swaps.size(), 2u);
    EXPECT_EQ(file.swaps[1].gpuMissing, "no GPU time: " + file.gpuNote);
    // A swap that continues nothing belongs to no drawing.
    const std::vector<FrameTiming> frames = timingFrames(file);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].step, 7);
    EXPECT_DOUBLE_EQ(frames[0].presentSeconds, 5e-9);
}

TEST(TimingFile, DamageIsReportedByLineAndEverythingSoundIsKept) {
    const std::string text = available + frameLine(1, 1, SwapKind::newStep, 10, 10) +  // line 5
                             "frame 2 2 new 10\n"                                    // 6: a column short
                             "frame 2 2 sideways 10 10\n"                            // 7: no such kind
                             "frame 2 2 new -5 10\n"                                 // 8: a negative time
                             "gpu 9 100\n"                                           // 9: no such swap
                             "gpu 1 12x\n"                                           // 10
                             "gpu 1 100\n"                                           // 11: read
                             "gpu 1 200\n"                                           // 12: a second one
                             "\n"                                                    // 13
                             + frameLine(4, 4, SwapKind::newStep, 10, 10) +          // 14: 2 and 3 missing
                             frameLine(3, 3, SwapKind::newStep, 10, 10) +            // 15: backwards
                             "frame 5 5 new 10 123";                                 // 16: cut short
    const TimingFile file = parseTimingText(text, "t.txt");
    EXPECT_EQ(problemLines(file), (std::vector<int>{6, 7, 8, 9, 10, 12, 13, 14, 15, 16}));
    ASSERT_EQ(file.swaps.size(), 2u);
    EXPECT_EQ(file.swaps[0].swap, 1);
    EXPECT_DOUBLE_EQ(file.swaps[0].gpuSeconds, 100e-9);
    EXPECT_EQ(file.swaps[1].swap, 4);
    EXPECT_EQ(file.problems.back().message, "the last line is cut short");

    // A file cut inside a GPU line does not give a shorter number.
    const TimingFile cut = parseTimingText(available + frameLine(1, 1, SwapKind::newStep, 10, 10) + "gpu 1 12", "c");
    ASSERT_EQ(cut.swaps.size(), 1u);
    EXPECT_TRUE(std::isnan(cut.swaps[0].gpuSeconds));
}

TEST(TimingFile, OtherFilesAreNotRead) {
    for (const std::string text : {"", "lumenfold-timing 2\nframe 1 1 new 1 1\n", "window: 1\n"}) {
        const TimingFile file = parseTimingText(text, "other");
        EXPECT_FALSE(file.recognised);
        EXPECT_TRUE(file.swaps.empty());
        EXPECT_EQ(problemLines(file), std::vector<int>{1});
    }
    const std::string directory = std::filesystem::temp_directory_path().string();
    const TimingFile notAFile = readTimingFile(directory);
    EXPECT_FALSE(notAFile.recognised);
    EXPECT_EQ(problemLines(notAFile), std::vector<int>{0});
    EXPECT_EQ(readTimingFile(directory + "/no-such-timing-file").problems.size(), 1u);
}

TEST(TimingMatch, EachResultsFrameTakesItsOwnDrawingOfItsStep) {
    std::vector<FrameTiming> drawings(5);
    const long steps[] = {1, 2, 2, 3, 0};
    for (size_t i = 0; i < drawings.size(); ++i) {
        drawings[i].step = steps[i];
        drawings[i].firstSwap = long(i) + 1;
        drawings[i].redraw = i == 2;
    }
    // Frames of steps 1, 2, 2 (the redraw), 3, one of an unknown step, one
    // of a step never drawn, and a third of step 2 that has no drawing.
    const auto matched = matchFramesByStep(drawings, {1, 2, 2, 3, 0, 9, 2});
    ASSERT_EQ(matched.size(), 7u);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(matched[i].has_value()) << i;
        EXPECT_EQ(matched[i]->firstSwap, i + 1);
    }
    EXPECT_TRUE(matched[2]->redraw);
    EXPECT_FALSE(matched[4] || matched[5] || matched[6]);
}

}  // namespace
