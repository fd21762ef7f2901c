#include <gtest/gtest.h>

#include <set>

#include "output/html_report.h"
#include "output/json_format.h"
#include "analysis/compare.h"
#include "model/figures.h"
#include "fixtures.h"

namespace {

std::vector<double> samplesOf(const ResultsRun& run, const std::string& key) {
    const std::optional<FigureSpec> figure = findFigure(run.program, key);
    EXPECT_TRUE(figure.has_value()) << key;
    return figure ? figureSamples(run, *figure) : std::vector<double>{};
}

TEST(Figures, EachSourceReadsItsSamples) {
    const ResultsRun t = parseResultsText(trianglesFile, "t.txt");
    EXPECT_EQ(samplesOf(t, "setupSeconds"), (std::vector<double>{3.189}));
    EXPECT_EQ(samplesOf(t, "frameSeconds"), (std::vector<double>{0.787, 1.033}));
    EXPECT_EQ(samplesOf(t, "framesPerSecond"), (std::vector<double>{1.27065, 0.968054}));
    EXPECT_EQ(samplesOf(t, "trianglesPerSecond"), (std::vector<double>{1524.78, 1742.5}));
    EXPECT_EQ(samplesOf(t, "trianglesPerSecondStep2"), (std::vector<double>{1742.5}));
    const std::set<long> firstStep = {1};
    EXPECT_EQ(figureSamples(t, *findFigure(findProgram("triangles"), "framesPerSecond"), &firstStep),
              (std::vector<double>{1.27065}));
    EXPECT_EQ(figurePositions(t, *findFigure(findProgram("triangles"), "trianglesPerSecond")),
              (std::vector<double>{1, 2}));

    const ResultsRun c = parseResultsText(cubeFile, "c.txt");
    EXPECT_EQ(samplesOf(c, "verticesPerSecond"), (std::vector<double>{6.71089e+07, 3.35544e+07}));
    // A figure of another program gives a run nothing.
    EXPECT_TRUE(figureSamples(c, *findFigure(findProgram("triangles"), "trianglesPerSecond")).empty());

    const ResultsRun s = parseResultsText(streamingFile, "s.txt");
    EXPECT_EQ(samplesOf(s, "frameSeconds"), (std::vector<double>{4 + 3.5 + 2, 4.25 + 3 + 2.5}));
    EXPECT_EQ(samplesOf(s, "integerSeconds"), (std::vector<double>{3.5, 3}));
    EXPECT_EQ(samplesOf(s, "logicMexecPerSecond"), (std::vector<double>{67.1089, 53.6871}));
}

TEST(Figures, KeysAreUniqueAndPerStepKeysAreExact) {
    for (Program program : programs()) {
        std::set<std::string> keys;
        for (const FigureSpec& figure : programFigures(program)) {
            EXPECT_TRUE(keys.insert(figure.key).second) << figure.key;
            EXPECT_EQ(figure.program, program);
        }
    }
    const std::optional<FigureSpec> step12 = findFigure(findProgram("triangles"), "trianglesPerSecondStep12");
    ASSERT_TRUE(step12.has_value());
    EXPECT_EQ(step12->step, 12);
    EXPECT_EQ(step12->label, "triangles/s at step 12");
    for (const char* key : {"trianglesPerSecondStep", "trianglesPerSecondStep012", "trianglesPerSecondStep+1",
                            "trianglesPerSecondStep1x", "verticesPerSecond"})
        EXPECT_FALSE(findFigure(findProgram("triangles"), key).has_value()) << key;
}

bool hasKey(const nlohmann::json& value, const std::string& key) {
    if (value.is_object() && value.contains(key)) return true;
    if (!value.is_structured()) return false;
    for (const nlohmann::json& inner : value)
        if (hasKey(inner, key)) return true;
    return false;
}

// Every figure of the list under its one key in the report's JSON, the
// comparison's JSON and the page: nothing is named differently anywhere.
TEST(Figures, EveryKeyIsTheSameInReportCompareAndPage) {
    BootstrapOptions quick;
    quick.resamples = 20;
    const ChartLibrary library{"Charts", "1", "test", ""};
    for (const std::string* file : {&trianglesFile, &cubeFile, &streamingFile}) {
        ResultsRun run = parseResultsText(*file, "r.txt");
        // Untimed, a run shows none of the timing library's figures.
        EXPECT_FALSE(hasKey(nlohmann::json::parse(jsonReport(withoutContexts({run}))), "gpuSeconds"));
        run.timing.present = true;
        run.timing.frames.assign(size_t(frameCount(run)), FrameTimes{0.02, 0.015, 0.01, ""});
        const std::vector<ReportedRun> runs = withoutContexts({run});
        const Program program = runs[0].run.program;
        const nlohmann::json report = nlohmann::json::parse(jsonReport(runs));
        const ComparedSide side = sideOf(runs);
        const nlohmann::json compared = comparisonJson(compareSides(side, side, quick));
        const std::string page = htmlPage(runs, {}, library, "test");
        for (const FigureSpec& figure : programFigures(program)) {
            // A per-step figure appears as its member at each step drawn; the page charts the family.
            const std::string key = figure.perStep ? figureAtStep(figure, 1).key : figure.key;
            EXPECT_TRUE(hasKey(report, key)) << key;
            bool inComparison = false;
            for (const nlohmann::json& f : compared["figures"]) inComparison |= f["figure"] == key;
            EXPECT_TRUE(inComparison) << key;
            EXPECT_TRUE(page.find("data-figure=\"" + figure.key + "\"") != std::string::npos ||
                        page.find("data-chart=\"" + figure.key + "\"") != std::string::npos)
                << figure.key;
        }
    }
}

}  // namespace
