#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fixtures.h"
#include "model/figures.h"
#include "model/timing_file.h"

namespace {

const std::string available = "lumenfold-timing 1\ncolumns frame swap step kind present_ns cpu_ns\n"
                              "columns gpu swap gpu_ns\ngpu available GL_ARB_timer_query GL_TIME_ELAPSED\n";

// A run with steps takes each frame's drawing of its step; one without
// takes the drawings in order, a kernel block's swaps summed into its frame.
// A GPU time not known is no sample; a results file finds its timing beside it.
TEST(TimingMatch, ARunTakesItsFramesTimes) {
    ResultsRun triangles = parseResultsText(trianglesFile, "t.txt");
    attachTiming(triangles, parseTimingText(available + "frame 1 1 new 800000000 600000000\n" +
                                                "frame 2 2 new 1000000000 700000000\n" +
                                                "gpu 1 5000000\ngpu 2 disjoint\n",
                                            "t.timing"));
    ASSERT_EQ(triangles.timing.frames.size(), 2u);
    EXPECT_EQ(triangles.timing.unmatched, 0);
    const Program program = findProgram("triangles");
    EXPECT_EQ(figureSamples(triangles, *findFigure(program, "presentSeconds")), (std::vector<double>{0.8, 1.0}));
    EXPECT_EQ(figureSamples(triangles, *findFigure(program, "gpuSeconds")), (std::vector<double>{0.005}));
    EXPECT_FALSE(triangles.timing.frames[1].gpuMissing.empty());

    ResultsRun streaming = parseResultsText(streamingFile, "s.txt");
    std::string text = available;
    for (long long swap = 1; swap <= 5; ++swap)
        text += "frame " + std::to_string(swap) + " 0 " + (swap % 3 == 1 ? "new " : "more ") +
                std::to_string(1000000000 * swap) + " 1\n";
    attachTiming(streaming, parseTimingText(text, "s.timing"));
    ASSERT_EQ(streaming.timing.frames.size(), 2u);
    EXPECT_EQ(streaming.timing.frames[0].presentSeconds, 1 + 2 + 3);
    // The second frame's third block was never swapped: its time is what was measured, not made up.
    EXPECT_EQ(streaming.timing.frames[1].presentSeconds, 4 + 5);
    EXPECT_EQ(streaming.timing.unmatched, 0);

    const std::filesystem::path directory = std::filesystem::temp_directory_path() / "lumenfold-timing-beside";
    std::filesystem::create_directories(directory);
    const std::string results = (directory / "results_x.txt").string();
    std::ofstream(results) << trianglesFile;
    EXPECT_FALSE(readResultsFile(results).timing.present);
    std::ofstream(timingPathFor(results)) << available + "frame 1 1 new 500000000 1\n";
    const ResultsRun beside = readResultsFile(results);
    EXPECT_TRUE(beside.timing.present);
    EXPECT_EQ(beside.timing.unmatched, 1);
    std::filesystem::remove_all(directory);
}

}  // namespace
