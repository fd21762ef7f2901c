#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "output/comparison_words.h"
#include "output/csv_format.h"
#include "output/json_format.h"
#include "output/markdown_format.h"
#include "output/markdown_table.h"
#include "output/text_format.h"
#include "analysis/compare.h"
#include "analysis/frame_tails.h"
#include "analysis/outliers.h"
#include "fixtures.h"
#include "model/input_files.h"

using nlohmann::json;

namespace {

// A cube run whose frames took these seconds (vertices/s and frames/s as
// the program derives them).
ResultsRun cubeRun(const std::string& path, double setup, const std::vector<double>& seconds) {
    ResultsRun run;
    run.path = path;
    run.recognised = true;
    run.program = findProgram("cube");
    run.hasSetup = true;
    run.setupSeconds = setup;
    for (double s : seconds) {
        Frame f;
        f.seconds = s;
        f.anglesPerSecond = 1 / s;
        f.rate = 16777216 / s;
        run.frames.push_back(f);
    }
    return run;
}

// A triangles run that drew the steps first..last, at `rate` triangles/s.
ResultsRun trianglesRun(const std::string& path, long first, long last, double rate) {
    ResultsRun run;
    run.path = path;
    run.recognised = true;
    run.program = findProgram("triangles");
    for (long step = first; step <= last; ++step) {
        Frame f;
        f.triangles = 600.0 * double(step + 1);
        f.step = step;
        f.rate = rate;
        f.seconds = f.triangles / rate;
        f.anglesPerSecond = 1 / f.seconds;
        run.frames.push_back(f);
    }
    return run;
}

std::vector<double> spread(double level, double noise, int frames, int offset) {
    std::vector<double> out;
    for (int i = 0; i < frames; ++i) out.push_back(level * (1 + noise * std::sin(0.9 * i + offset)));
    return out;
}

const FigureComparison* find(const ProgramComparison& program, const std::string& key) {
    for (const FigureComparison& f : program.figures)
        if (f.figure == key) return &f;
    return nullptr;
}

bool anyNoteHas(const std::vector<std::string>& notes, const std::string& text) {
    for (const std::string& note : notes)
        if (note.find(text) != std::string::npos) return true;
    return false;
}

TEST(Compare, GroupsOfRunsGiveRatiosIntervalsAndVerdictsPerFigure) {
    ComparedSide a, b;
    for (int r = 0; r < 3; ++r) {
        // B's frames take 10% less time; its set-up the same.
        a.runs.push_back(cubeRun("a" + std::to_string(r), 3.0 + 0.01 * r, spread(0.25, 0.02, 40, r)));
        b.runs.push_back(cubeRun("b" + std::to_string(r), 3.01 - 0.01 * r, spread(0.25 / 1.1, 0.02, 40, r + 5)));
    }
    b.runs.push_back(parseResultsText(streamingFile, "s.txt"));
    b.runs.push_back(parseResultsText("not a results file\n", "c.txt"));
    b.warnings.push_back({"b1", "a software rasteriser (llvmpipe)"});
    b.withoutContext = {"s.txt"};

    const Comparison c = compareSides(a, b);
    ASSERT_EQ(c.programs.size(), 1u);
    const ProgramComparison& cube = c.programs[0];
    EXPECT_EQ(cube.program, findProgram("cube"));
    ASSERT_EQ(cube.figures.size(), 4u);
    EXPECT_EQ(c.notes, std::vector<std::string>{"streaming: 1 run in B only, nothing to compare them with"});

    const FigureComparison* vertices = find(cube, "verticesPerSecond");
    ASSERT_NE(vertices, nullptr);
    EXPECT_EQ(vertices->runsA, 3);
    EXPECT_EQ(vertices->runsB, 3);
    EXPECT_EQ(vertices->samplesA, 120u);
    EXPECT_NEAR(vertices->ratio.estimate, 1.1, 0.01);
    EXPECT_GT(vertices->ratio.low, 1.05);
    EXPECT_EQ(vertices->verdict, Verdict::faster);
    EXPECT_FALSE(vertices->framesOnly);
    EXPECT_EQ(find(cube, "framesPerSecond")->verdict, Verdict::faster);
    // Less time is better: B's shorter frames are faster too.
    EXPECT_EQ(find(cube, "frameSeconds")->verdict, Verdict::faster);
    const FigureComparison* setup = find(cube, "setupSeconds");
    EXPECT_EQ(setup->direction, Direction::lowerIsBetter);
    EXPECT_EQ(setup->samplesB, 3u);
    EXPECT_EQ(setup->verdict, Verdict::noClearDifference);

    const json doc = comparisonJson(c);
    ASSERT_EQ(doc["figures"].size(), 4u);
    for (const json& f : doc["figures"])
        for (const char* key : {"program", "figure", "ratio", "ciLow", "ciHigh", "verdict", "runsA", "runsB"})
            EXPECT_TRUE(f.contains(key)) << key;
    EXPECT_EQ(doc["figures"][3]["verdict"], "faster");
    EXPECT_EQ(doc["b"]["warnings"][0]["message"], "a software rasteriser (llvmpipe)");
    EXPECT_EQ(doc["bootstrap"]["resamples"], 10000);

    const std::string text = textComparison(c);
    EXPECT_NE(text.find("B: b1: a software rasteriser (llvmpipe)"), std::string::npos);
    EXPECT_NE(text.find("A: none reported"), std::string::npos);
    EXPECT_NE(text.find("s.txt has no readable context file"), std::string::npos);
    EXPECT_NE(text.find("hierarchical bootstrap"), std::string::npos);
    // The statistics that said nothing about B against A are gone.
    EXPECT_EQ(text.find("stddev"), std::string::npos);

    const std::string csv = csvComparison(c);
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "program,figure,step,direction,runs_a,runs_b,samples_a,samples_b,median_a,median_b,ratio,ci_low,"
              "ci_high,verdict,frames_only,skipped_frames,runs_apart_a,runs_apart_b");
    EXPECT_NE(csv.find("\ncube,verticesPerSecond,,higher is better,3,3,120,120,"), std::string::npos);
}

ReportedRun withContext(ResultsRun run, const std::string& renderer, bool glthread) {
    ReportedRun reported{std::move(run), {}, ""};
    reported.context.present = true;
    reported.context.context.gl.renderer = renderer;
    if (glthread) reported.context.context.environment["mesa_glthread"] = "true";
    return reported;
}

// What stands out and where the sides were not measured alike reaches every
// format: text, markdown, JSON, and for CSV its column and standard error.
TEST(Compare, RunsApartSlowFirstFramesAndDifferingConditionsInEveryFormat) {
    std::vector<double> slowStart = spread(0.25, 0.01, 30, 0);
    slowStart[0] = 1.5;
    std::vector<ReportedRun> a = {withContext(cubeRun("a1.txt", 12, slowStart), "llvmpipe 15", false)};
    for (int r = 2; r <= 4; ++r)
        a.push_back(withContext(cubeRun("a" + std::to_string(r) + ".txt", 12, spread(r == 4 ? 0.75 : 0.25, 0.01, 30, r)),
                                "llvmpipe 15", false));
    const std::vector<ReportedRun> b = {withContext(cubeRun("b1.txt", 12, spread(0.25, 0.01, 30, 5)), "llvmpipe 16", true),
                                        withContext(cubeRun("b2.txt", 12, spread(0.25, 0.01, 30, 6)), "llvmpipe 16", true)};
    BootstrapOptions quick;
    quick.resamples = 200;
    const Comparison c = compareSides(sideOf(a), sideOf(b), quick);
    const std::vector<std::string> lines = {
        "the sides differ in: GL renderer \"llvmpipe 15\" / \"llvmpipe 16\"",
        "the sides differ in: mesa_glthread unset / \"true\"",
        "A: a4.txt stands apart from its side's other runs (median more than 10 spreads from theirs) in: "
        "frame time (s), frames/s, vertices/s",
        "A: a1.txt: frame 1 is much slower than the frames after it: set-up work spilling into it? --skip-frames 1 "
        "leaves it out"};
    const std::string text = textComparison(c), markdown = markdownComparison(c);
    const std::vector<std::string> notes = comparisonNotes(c);
    for (const std::string& line : lines) {
        EXPECT_NE(text.find("  " + line + "\n"), std::string::npos) << line;
        EXPECT_NE(markdown.find("- " + markdownText(line) + "\n"), std::string::npos) << line;
        EXPECT_TRUE(anyNoteHas(notes, line)) << line;
    }
    const json doc = comparisonJson(c);
    EXPECT_EQ(doc["differences"][0]["line"], lines[0]);
    EXPECT_EQ(doc["differences"].size(), 2u);
    EXPECT_EQ(doc["figures"][3]["standingApartA"], json::parse(R"(["a4.txt"])"));
    EXPECT_EQ(doc["programs"][0]["slowFirstFrame"], json::parse(R"([{"side": "A", "file": "a1.txt"}])"));
    EXPECT_NE(csvComparison(c).find(",no,0,a4.txt,\n"), std::string::npos);

    // The first frame left out: said, and no longer called out.
    std::vector<ReportedRun> skipped = a;
    for (ReportedRun& run : skipped) {
        run.run = skipFrames(run.run, 1);
        run.skippedFrames = 1;
    }
    const Comparison s = compareSides(sideOf(skipped), sideOf(b), quick);
    EXPECT_TRUE(s.programs[0].slowFirst.empty());
    EXPECT_EQ(comparisonJson(s)["skippedFrames"], 1);
    EXPECT_NE(textComparison(s).find("\nthe first frame of every run is left out (--skip-frames 1)"), std::string::npos);
    EXPECT_NE(csvComparison(s).find(",no,1,a4.txt,\n"), std::string::npos);
}

TEST(Compare, OneRunPerSideSaysTheIntervalIsFrameToFrameOnly) {
    // The files as the programs write them, compared with themselves.
    ComparedSide a, b;
    a.runs.push_back(parseResultsText(cubeFile, "a.txt"));
    b.runs.push_back(parseResultsText(cubeFile, "b.txt"));
    const Comparison c = compareSides(a, b);
    ASSERT_EQ(c.programs.size(), 1u);
    const ProgramComparison& cube = c.programs[0];
    EXPECT_TRUE(anyNoteHas(cube.notes, "A holds one run"));
    EXPECT_TRUE(anyNoteHas(cube.notes, "frame-to-frame"));
    for (const FigureComparison& f : cube.figures) {
        EXPECT_DOUBLE_EQ(f.ratio.estimate, 1) << f.figure;
        EXPECT_EQ(f.verdict, Verdict::noClearDifference) << f.figure;
    }
    // One set-up time a side: nothing to resample, so no interval at all.
    const FigureComparison* setup = find(cube, "setupSeconds");
    EXPECT_TRUE(std::isnan(setup->ratio.low));
    EXPECT_FALSE(setup->framesOnly);
    EXPECT_TRUE(find(cube, "verticesPerSecond")->framesOnly);
    const json doc = comparisonJson(c);
    EXPECT_TRUE(doc["figures"][0]["ciLow"].is_null());
    EXPECT_NE(textComparison(c).find("no interval"), std::string::npos);
}

TEST(Compare, TrianglesOnlyAtStepsEveryRunDrew) {
    // A drew steps 1-3, B steps 2-5 at twice the rate: deeper steps hold
    // more triangles, so only 2 and 3 may be compared.
    ComparedSide a, b;
    a.runs = {trianglesRun("a", 1, 3, 1000), trianglesRun("a2", 1, 4, 1000)};
    b.runs = {trianglesRun("b", 2, 5, 2000)};
    const Comparison c = compareSides(a, b);
    ASSERT_EQ(c.programs.size(), 1u);
    const ProgramComparison& t = c.programs[0];
    EXPECT_EQ(find(t, "setupSeconds"), nullptr);
    EXPECT_TRUE(anyNoteHas(t.notes, "set-up (s): no run of A reported it"));
    EXPECT_TRUE(anyNoteHas(t.notes, "steps 1, 4, 5, drawn in only some runs"));
    EXPECT_NE(find(t, "trianglesPerSecondStep2"), nullptr);
    EXPECT_NE(find(t, "trianglesPerSecondStep3"), nullptr);
    EXPECT_EQ(find(t, "trianglesPerSecondStep4"), nullptr);
    const FigureComparison* all = find(t, "trianglesPerSecond");
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(all->samplesA, 4u);
    EXPECT_EQ(all->samplesB, 2u);
    EXPECT_DOUBLE_EQ(all->ratio.estimate, 2);
    EXPECT_EQ(find(t, "trianglesPerSecondStep3")->step, 3);
    EXPECT_EQ(comparisonJson(c)["figures"][3]["step"], 2);

    ComparedSide disjoint;
    disjoint.runs = {trianglesRun("d", 7, 9, 1000)};
    const Comparison none = compareSides(a, disjoint);
    ASSERT_EQ(none.programs.size(), 1u);
    EXPECT_TRUE(none.programs[0].figures.empty());
    EXPECT_TRUE(anyNoteHas(none.programs[0].notes, "no step was drawn in every run"));
}

class InputFiles : public ::testing::Test {
protected:
    void SetUp() override {
        root = std::filesystem::temp_directory_path() /
               ("lumenfold-inputs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "suite" / "cube");
        std::filesystem::create_directories(root / "empty");
    }
    void TearDown() override { std::filesystem::remove_all(root); }
    void write(const std::filesystem::path& path, const std::string& text) { std::ofstream(path) << text; }
    std::filesystem::path root;
};

TEST_F(InputFiles, DirectoriesStandForTheResultsFilesInThem) {
    const auto suite = root / "suite";
    write(suite / "results_streaming_lite_windows @ local date 2026.12.07 time 15.00.00.txt", streamingFile);
    write(suite / "cube" / "results_cube_lite_windows @ local date 2026.12.07 time 15.00.01.txt", cubeFile);
    write(suite / "cube" / "results_cube_lite_windows @ local date 2026.12.07 time 15.00.01.json",
          R"({"warnings": ["load average 3.1 at start on 2 cores", {"message": "swap interval 1"}]})");
    write(suite / "results_streaming_lite_windows @ local date 2026.12.07 time 15.00.00.json",
          R"({"validation": true})");
    write(suite / "summary.txt", "not a results file");
    write(suite / "results_notes.md", "neither");

    std::vector<std::string> errors;
    const std::vector<std::string> files =
        expandInputs({suite.string(), "named.txt", (root / "empty").string()}, errors);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_NE(files[0].find("/cube/results_cube"), std::string::npos);
    EXPECT_NE(files[1].find("results_streaming"), std::string::npos);
    EXPECT_EQ(files[2], "named.txt");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("holds no results file"), std::string::npos);

    const ComparedSide side = sideOf(readReportedRuns({files[0], files[1], files[2]}));
    ASSERT_EQ(side.runs.size(), 3u);
    EXPECT_EQ(side.runs[0].program, findProgram("cube"));
    ASSERT_EQ(side.warnings.size(), 2u);
    EXPECT_EQ(side.warnings[1].message, "swap interval 1");
    EXPECT_EQ(side.warnings[0].file, files[0]);
    EXPECT_EQ(side.withoutContext, std::vector<std::string>{"named.txt"});
    // The validation run is named and kept out of every figure.
    EXPECT_EQ(side.validation, std::vector<std::string>{files[1]});
    BootstrapOptions quick;
    quick.resamples = 20;
    const Comparison comparison = compareSides(side, side, quick);
    ASSERT_EQ(comparison.programs.size(), 1u);
    EXPECT_EQ(comparison.programs[0].program, findProgram("cube"));
    ASSERT_EQ(comparison.notes.size(), 2u);
    EXPECT_EQ(comparison.notes[0].rfind("A: " + files[1] + ": validation run", 0), 0u) << comparison.notes[0];
}

}  // namespace

namespace {

// Tails are compared only where every run holds frames enough for the tail,
// with an interval only where its bootstrap is sound; a slower tail on B
// (its slowest frames twice as slow, its median the same) is found.
TEST(Compare, FrameTimeTailsWhereRunsHoldFramesEnough) {
    BootstrapOptions quick;
    quick.resamples = 200;
    auto sideOfRuns = [](int frames, double slowest, int offset) {
        ComparedSide side;
        for (int r = 0; r < 3; ++r) {
            std::vector<double> seconds = spread(0.01, 0.05, frames, offset + r);
            for (size_t i = 0; i < seconds.size(); i += 50) seconds[i] = slowest;
            side.runs.push_back(cubeRun("r" + std::to_string(offset + r), 1, seconds));
        }
        return side;
    };
    const ProgramComparison longRuns =
        compareSides(sideOfRuns(1200, 0.02, 0), sideOfRuns(1200, 0.04, 10), quick).programs.at(0);
    const FigureComparison* p99 = find(longRuns, "p99FrameSeconds");
    ASSERT_NE(p99, nullptr);
    EXPECT_NEAR(p99->ratio.estimate, 2, 0.1);
    EXPECT_EQ(p99->verdict, Verdict::slower);
    const FigureComparison* low = find(longRuns, "low1PercentFramesPerSecond");
    ASSERT_NE(low, nullptr);
    EXPECT_NEAR(low->ratio.estimate, 0.5, 0.05);
    EXPECT_EQ(low->verdict, Verdict::slower);
    // 1,200 frames hold the 0.1% tail (one frame) but too few for its interval.
    EXPECT_EQ(find(longRuns, "p999FrameSeconds"), nullptr);
    EXPECT_TRUE(anyNoteHas(longRuns.notes, "p99.9 frame time (s): no interval"));

    const ProgramComparison shortRuns = compareSides(sideOfRuns(5, 0.02, 0), sideOfRuns(5, 0.04, 10), quick).programs.at(0);
    for (const TailFigureSpec& spec : tailFigures) EXPECT_EQ(find(shortRuns, spec.key), nullptr) << spec.key;
    EXPECT_FALSE(anyNoteHas(shortRuns.notes, "no interval"));
}

}  // namespace
