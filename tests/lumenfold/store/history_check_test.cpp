#include <gtest/gtest.h>

#include <set>

#include "analysis/compare.h"
#include "store/history_check.h"

namespace {

// A change point names what changed in the contexts, by the keys of the
// context's condition facts: the kernel with its version, since an update
// of a distribution's kernel often keeps the release.
TEST(HistoryCheck, ContextChangesNameWhatDifferedOnly) {
    const std::string before = R"({"gl": {"renderer": "llvmpipe", "version": "4.5 Mesa 22.3"}, "version": "1.0",
        "kernel": {"name": "Linux", "release": "6.1.0-13-amd64", "version": "#1 SMP 6.1.55-1", "machine": "x86_64"},
        "environment": {"GALLIUM_DRIVER": "llvmpipe"}, "warnings": ["busy"]})";
    const std::string after = R"({"gl": {"renderer": "llvmpipe", "version": "4.5 Mesa 23.1"}, "version": "1.0",
        "kernel": {"name": "Linux", "release": "6.1.0-13-amd64", "version": "#1 SMP 6.1.99-1", "machine": "x86_64"},
        "environment": {}, "warnings": []})";
    const ContextChanges changed = contextChanges(before, after);
    ASSERT_EQ(changed.size(), 4u);
    EXPECT_EQ(changed.at("glVersion"), std::make_pair(std::string("4.5 Mesa 22.3"), std::string("4.5 Mesa 23.1")));
    EXPECT_EQ(changed.at("kernel"), std::make_pair(std::string("Linux 6.1.0-13-amd64 #1 SMP 6.1.55-1 x86_64"),
                                                   std::string("Linux 6.1.0-13-amd64 #1 SMP 6.1.99-1 x86_64")));
    EXPECT_EQ(changed.at("environment.GALLIUM_DRIVER").second, "(none)");
    EXPECT_EQ(changed.at("warnings"), std::make_pair(std::string("busy"), std::string("(none)")));
    EXPECT_TRUE(contextChanges(before, before).empty());
    EXPECT_EQ(contextChanges(before, std::nullopt).count("context"), 1u);
    EXPECT_EQ(contextChanges(before, "[1]").at("context"),
              std::make_pair(std::string("(recorded)"), std::string("(recorded)")));
}

TEST(HistoryCheck, FiguresCarryTheKeysCompareUses) {
    const ResultsRun run = parseResultsText(
        "Quorvex :: Lumenfold Benchmark Graphics Triangles Lite for Windows on x86 64bit system 2019.12.06.\n\n\n"
        "It spent: 3.189 Secs to Initialize.\n\n\nwindow: 1\nIt drew 1200 Triangles.\nIt spent: 0.787 Secs. \n"
        "It was: 1.27065 Angles/sec.\nIt was: 1524.78 Triangles/sec.\n\n",
        "t.txt");
    std::set<std::string> keys;
    for (const FigureSamples& f : figureSamplesOfRun(run)) keys.insert(f.key);
    ComparedSide side;
    side.runs = {run};
    const Comparison comparison = compareSides(side, side);
    ASSERT_FALSE(comparison.programs.empty());
    for (const FigureComparison& f : comparison.programs[0].figures) EXPECT_EQ(keys.count(f.figure), 1u) << f.figure;
}

}  // namespace
