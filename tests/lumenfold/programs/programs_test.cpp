// The table itself: what it lists, how a count gives a step, and the
// entries it refuses because the reader or the formats could not follow them.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "programs/builtin_programs.h"
#include "programs/programs.h"

namespace {

TEST(Programs, ListedOnceInOrderAndFoundByNameOrTitle) {
    EXPECT_EQ(programNames(), (std::vector<std::string>{"triangles", "cube", "streaming"}));
    EXPECT_EQ(programList("and"), "triangles, cube and streaming");
    EXPECT_EQ(findProgram("cube"), programOfTitle(cubeText.title));
    EXPECT_EQ(findProgram("Cube"), nullptr);
    EXPECT_EQ(programOfTitle(std::string(cubeText.title) + " "), nullptr);
    EXPECT_EQ(resultsNamePrefix(findProgram("streaming")), "results_streaming_lite_windows @ local date ");
}

TEST(Programs, StepsFollowFromWholeCountsOnly) {
    const ProgramSpec& triangles = *findProgram("triangles");
    EXPECT_EQ(stepOfCount(triangles, 600), 0);
    EXPECT_EQ(stepOfCount(triangles, 1800), 2);
    for (double count : {0.0, 599.0, 1801.0, -600.0, 600.5, double(NAN), double(INFINITY), 0x1p60})
        EXPECT_EQ(stepOfCount(triangles, count), -1) << count;
    EXPECT_EQ(stepOfCount(*findProgram("cube"), 600), -1);
}

// Each entry is a sound one with one thing broken.
TEST(Programs, UnsoundEntriesAreRefusedAndLeaveTheTableAsItWas) {
    auto named = [](ProgramSpec spec) {
        spec.text.name = "fifth";
        spec.text.title = "a title no program has";
        return spec;
    };
    std::vector<std::pair<std::string, ProgramSpec>> broken;
    broken.emplace_back("name or title is taken", cubeProgram());
    ProgramSpec spec = named(cubeProgram());
    spec.mainFigure = "nothing";
    broken.emplace_back("main figure", spec);
    spec = named(cubeProgram());
    spec.results.frame.erase(spec.results.frame.begin());
    broken.emplace_back("does not start with the window line", spec);
    spec = named(cubeProgram());
    spec.results.frame.insert(spec.results.frame.end(), maxBlockLines, {emptyLine, LineField::none});
    broken.emplace_back("more than", spec);
    spec = named(streamingProgram());
    spec.figures.push_back(figure("rate", "rate", "1/s", Direction::higherIsBetter, SampleSource::frameRate));
    broken.emplace_back("takes samples its results layout does not have", spec);
    spec = named(streamingProgram());
    spec.figures[2].kernel = 3;
    broken.emplace_back("names a kernel", spec);
    spec = named(cubeProgram());
    spec.steps = {600, "vertices"};
    broken.emplace_back("count line", spec);
    spec = named(cubeProgram());
    spec.figures.push_back(spec.figures[1]);
    broken.emplace_back("keys must be given and differ", spec);
    spec = named(cubeProgram());
    spec.figures.pop_back();   // vertices/s
    spec.mainFigure = "frameSeconds";
    broken.emplace_back("needs a rate line and its figure", spec);
    spec = named(cubeProgram());
    spec.validationSteps = {0};
    broken.emplace_back("validation steps", spec);
    for (const auto& [why, entry] : broken) {
        try {
            registerProgram(entry);
            ADD_FAILURE() << "entered: " << why;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
        EXPECT_EQ(programs().size(), 3u);
    }
}

}  // namespace
