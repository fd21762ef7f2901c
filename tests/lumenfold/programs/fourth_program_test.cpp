// Made-up programs entered in the table at run time, with layouts, texts and
// figures none of the real ones have: the reader, report, compare, outliers,
// the console watch and the history take them from the table alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <tuple>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "analysis/compare.h"
#include "analysis/outliers.h"
#include "output/csv_format.h"
#include "output/json_format.h"
#include "output/text_format.h"
#include "programs/programs.h"
#include "run/run_support.h"
#include "store/history_add.h"
#include "store/history_check.h"

using nlohmann::json;

namespace {

// prisms: frames with steps (10 prisms more a step), no angles line, a
// summary of one line; its main figure is its rate over every frame.
constexpr ProgramText prismsText{"prisms", "results_prisms_lite @ %Y.%m.%d %H.%M.%S.txt",
                                 "Quorvex :: Lumenfold Prisms, made up for a test", "Prisms Lite",
                                 {"", "", "", ""}, SummaryKind::timeAndAngles};
constexpr NumberLine prismsDrawn{"It drew ", " Prisms."};
constexpr NumberLine prismsTime{"It took: ", " Secs."};
constexpr NumberLine prismsRate{"It was: ", " Prisms/sec."};
constexpr NumberLine prismsTotal{"All frames took: ", " Secs."};

ProgramSpec prismsProgram() {
    ProgramSpec p;
    p.text = prismsText;
    p.results.frame = {{windowLine, LineField::window},
                       {numberLine(prismsDrawn), LineField::triangles},
                       {numberLine(prismsTime), LineField::seconds},
                       {numberLine(prismsRate), LineField::rate},
                       {emptyLine, LineField::none}};
    p.results.summary = {{numberLine(prismsTotal), LineField::totalSeconds}, {emptyLine, LineField::none}};
    p.results.rate = {"prisms/s", "prisms / frame time", 0, 1, ""};
    p.steps = {10, "prisms"};
    FigureSpec rate = figure("prismsPerSecond", "prisms/s", "prisms/s", Direction::higherIsBetter,
                             SampleSource::frameRate);
    FigureSpec byStep = charted(rate, "Prisms/s by step", "step");
    byStep.key = "prismsPerSecondStep";
    byStep.label = "prisms/s at step";
    byStep.perStep = true;
    rate.judgesOutliers = true;
    p.figures = {setupFigure(), frameTimeFigure("frame time (s)", "Frame time per frame (s)"), rate, byStep};
    p.mainFigure = rate.key;
    p.console = {prismsRate, "prisms/s", -1};
    p.validationSteps = {2};
    return p;
}

// pulses: a frame of two kernel blocks closed by one empty line.
constexpr ProgramText pulsesText{"pulses", "results_pulses @ %Y.txt", "Quorvex :: Lumenfold Pulses, made up for a test",
                                 "Pulses", {"", "", "", ""}, SummaryKind::none};
constexpr NumberLine pulseTime{"It took: ", " Secs."};
constexpr NumberLine pulseRate{"It ran: ", " Millions/sec."};
constexpr double pulseCount = 1048576;

ProgramSpec pulsesProgram() {
    ProgramSpec p;
    p.text = pulsesText;
    for (const char* name : {"rise", "fall"})
        p.results.kernels.push_back({name,
                                     {{windowLine, LineField::window},
                                      {literalLine(name[0] == 'r' ? "Rising." : "Falling."), LineField::none},
                                      {numberLine(pulseTime), LineField::seconds},
                                      {numberLine(pulseRate), LineField::rate},
                                      {emptyLine, LineField::none}}});
    p.results.frameClosingLines = 1;
    p.results.rate = {"millions/s", "1.048576 / pulse time", pulseCount, 1e6, ""};
    p.figures = {setupFigure(), frameTimeFigure("frame time (s)", "Frame time (s)", SampleSource::kernelFrameSeconds)};
    for (int k : {0, 1}) {
        FigureSpec rate = figure(p.results.kernels[size_t(k)].name + "Rate", p.results.kernels[size_t(k)].name + " M/s",
                                 "M/s", Direction::higherIsBetter, SampleSource::kernelRate);
        rate.kernel = k;
        rate.judgesOutliers = true;
        p.figures.push_back(rate);
    }
    p.mainFigure = "riseRate";
    p.console = {pulseRate, "rise M/s", 0};
    p.validationSteps = {1};
    return p;
}

// Enters a made-up program for one test and takes it out again.
class Entered {
public:
    explicit Entered(ProgramSpec spec) : program_(registerProgram(std::move(spec))) {}
    ~Entered() { unregisterProgram(program_); }
    Program operator*() const { return program_; }

private:
    Program program_;
};

std::string g(double value) {
    char text[32];
    snprintf(text, sizeof text, "%g", value);
    return text;
}

// A prisms run at about `rate` prisms/s, as the program would print it;
// frame `slow` (from 0) takes five times as long; the noise starts at phase.
std::string prismsFile(double rate, int frames, int slow = -1, double phase = 0) {
    std::string text = std::string(prismsText.title) + "\n\n\nIt spent: 0.5 Secs to Initialize.\n\n\n";
    double total = 0;
    for (int s = 0; s < frames; ++s) {
        const double prisms = 10.0 * (s + 1);
        const double seconds = std::stod(g(prisms / rate * (1 + 0.01 * std::sin(1.7 * s + phase)) * (s == slow ? 5 : 1)));
        total += seconds;
        text += "window: 1\nIt drew " + g(prisms) + " Prisms.\nIt took: " + g(seconds) + " Secs.\nIt was: " +
                g(prisms / seconds) + " Prisms/sec.\n\n";
    }
    return text + "All frames took: " + g(total) + " Secs.\n\n";
}

std::string pulsesFile(int frames) {
    std::string text = std::string(pulsesText.title) + "\n\n\nIt spent: 0.25 Secs to Initialize.\n\n\n";
    for (int f = 0; f < frames; ++f) {
        for (const char* name : {"Rising.", "Falling."}) {
            const double seconds = 0.5 + 0.01 * f + (name[0] == 'F' ? 0.25 : 0);
            text += "window: 2\n" + std::string(name) + "\nIt took: " + g(seconds) + " Secs.\nIt ran: " +
                    g(pulseCount / seconds / 1e6) + " Millions/sec.\n\n";
        }
        text += "\n";
    }
    return text;
}

std::string problemsOf(const ResultsRun& run) {
    std::string out;
    for (const Problem& p : run.problems) out += std::to_string(p.line) + ": " + p.message + "\n";
    return out;
}

TEST(FourthProgram, ReadReportedAndComparedFromItsEntryAlone) {
    const Entered prisms(prismsProgram());
    EXPECT_EQ(programList(), "triangles, cube, streaming or prisms");

    const ResultsRun run = parseResultsText(prismsFile(1000, 30, 12), "p.txt");
    ASSERT_TRUE(run.recognised);
    EXPECT_EQ(run.program, *prisms);
    EXPECT_TRUE(run.problems.empty()) << problemsOf(run);
    ASSERT_EQ(run.frames.size(), 30u);
    EXPECT_EQ(run.frames[4].step, 4);
    EXPECT_EQ(run.frames[4].triangles, 50);
    EXPECT_TRUE(run.summary.present);
    // Its own messages, from its entry: a count no step draws, a rate that disagrees.
    std::string damaged = prismsFile(1000, 3);
    damaged.replace(damaged.find("It drew 20 "), 11, "It drew 25 ");
    const ResultsRun bad = parseResultsText(damaged, "d.txt");
    EXPECT_EQ(bad.frames.size(), 2u);
    EXPECT_NE(problemsOf(bad).find("prisms drawn 25 is not a whole multiple of 10 that a step draws"),
              std::string::npos) << problemsOf(bad);
    EXPECT_NE(problemsOf(bad).find(" does not agree with prisms / frame time = "), std::string::npos);

    const std::vector<ReportedRun> runs = withoutContexts({run});
    const std::string text = textReport(runs);
    EXPECT_NE(text.find("program prisms, 30 frames"), std::string::npos) << text;
    EXPECT_NE(text.find("stands out: prisms/s: 1 frame lies"), std::string::npos) << text;
    EXPECT_NE(text.find("prisms/s by step:\n      step       prisms"), std::string::npos) << text;
    const json report = json::parse(jsonReport(runs))[0];
    EXPECT_EQ(report["program"], "prisms");
    EXPECT_EQ(report["perFrame"][4]["step"], 4);
    EXPECT_EQ(report["perFrame"][4]["prisms"], 50);
    EXPECT_TRUE(report["perFrame"][4].contains("prismsPerSecond"));
    EXPECT_EQ(report["statistics"]["prismsPerSecondStep4"]["count"], 1);
    EXPECT_EQ(report["outliers"][0]["figure"], "prisms/s");
    // CSV finds the outliers of a figure by its key: the rate's row has them.
    const std::string csv = csvReport(runs);
    EXPECT_NE(csv.find(",prismsPerSecond,30,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",0,1,13,no\n"), std::string::npos) << csv;

    ComparedSide a, b;
    for (int r = 0; r < 3; ++r) {
        a.runs.push_back(parseResultsText(prismsFile(1000 + r, 20), "a" + std::to_string(r)));
        b.runs.push_back(parseResultsText(prismsFile(1200 + r, 20 + r), "b" + std::to_string(r)));
    }
    BootstrapOptions quick;
    quick.resamples = 200;
    const Comparison comparison = compareSides(a, b, quick);
    ASSERT_EQ(comparison.programs.size(), 1u);
    EXPECT_EQ(comparison.programs[0].program, *prisms);
    const FigureComparison* rate = nullptr;
    for (const FigureComparison& f : comparison.programs[0].figures)
        if (f.figure == "prismsPerSecond") rate = &f;
    ASSERT_NE(rate, nullptr);
    EXPECT_EQ(rate->verdict, Verdict::faster);
    EXPECT_NEAR(rate->ratio.estimate, 1.2, 0.02);
    // Frames compared only at the steps every run drew: 0 to 19.
    EXPECT_EQ(comparison.programs[0].figures.back().figure, "prismsPerSecondStep19");
    EXPECT_NE(textComparison(comparison).find("== prisms: 3 runs in A, 3 runs in B"), std::string::npos);
}

TEST(FourthProgram, ConsoleWatchCountsItsFramesByItsOwnLine) {
    const Entered prisms(prismsProgram());
    const Entered pulses(pulsesProgram());
    for (const auto& [program, file, figure] :
         {std::tuple{*prisms, prismsFile(1000, 4), std::string(" prisms/s")}, {*pulses, pulsesFile(3), " rise M/s"}}) {
        ConsoleWatch watch;
        watch.program = program;
        for (size_t at = 0, end; (end = file.find('\n', at)) != std::string::npos; at = end + 1)
            watchConsoleLine(watch, file.substr(at, end - at));
        EXPECT_EQ(watch.frames, program == *prisms ? 4 : 3) << programName(program);
        EXPECT_TRUE(watch.latestFigure.ends_with(figure)) << watch.latestFigure;
    }
}

TEST(FourthProgram, KernelBlocksOfAnotherCountAndClosing) {
    const Entered pulses(pulsesProgram());
    const ResultsRun run = parseResultsText(pulsesFile(3), "u.txt");
    EXPECT_TRUE(run.problems.empty()) << problemsOf(run);
    ASSERT_EQ(run.kernels.size(), 2u);
    EXPECT_EQ(frameCount(run), 3);
    const json report = json::parse(jsonReport(withoutContexts({run})))[0];
    EXPECT_EQ(report["kernels"]["fall"].size(), 3u);
    EXPECT_NEAR(report["statistics"]["frameSeconds"]["median"].get<double>(), 0.51 + 0.76, 1e-9);
    const ResultsRun skipped = skipFrames(run, 1);
    EXPECT_EQ(frameCount(skipped), 2);
    EXPECT_EQ(skipped.kernels[1].front().firstLine, run.kernels[1][1].firstLine);
    // Cut before the second frame's fall block: the frame does not count.
    const std::string text = pulsesFile(2);
    const ResultsRun cut = parseResultsText(text.substr(0, text.rfind("window: 2")), "c.txt");
    EXPECT_EQ(frameCount(cut), 1);
    EXPECT_EQ(cut.kernels[0].size(), 2u);
    EXPECT_NE(problemsOf(cut).find("the file ends after the rise kernel block"), std::string::npos)
        << problemsOf(cut);
}

// A history store in a fresh temporary directory, removed with it.
class TemporaryStore {
public:
    TemporaryStore() {
        char pattern[] = "/tmp/lumenfold-fourth-XXXXXX";
        directory_ = mkdtemp(pattern) != nullptr ? pattern : "";
        store_ = std::make_unique<HistoryStore>(StoreLocation{false, directory_ + "/h.sqlite", "h.sqlite"});
    }
    ~TemporaryStore() {
        store_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
    HistoryStore& operator*() { return *store_; }

private:
    std::string directory_;
    std::unique_ptr<HistoryStore> store_;
};

bool sameFrames(const std::vector<Frame>& a, const std::vector<Frame>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tie(a[i].firstLine, a[i].window, a[i].triangles, a[i].seconds, a[i].anglesPerSecond, a[i].rate,
                     a[i].step) != std::tie(b[i].firstLine, b[i].window, b[i].triangles, b[i].seconds,
                                            b[i].anglesPerSecond, b[i].rate, b[i].step))
            return false;
    return true;
}

TEST(FourthProgram, HistoryKeepsItsFramesAndFindsItsChange) {
    const Entered prisms(prismsProgram());
    const Entered pulses(pulsesProgram());
    TemporaryStore store;
    std::vector<ResultsRun> read;
    for (int r = 0; r < 16; ++r) {
        const std::string text = prismsFile(r < 8 ? 1000 : 1300, 12, -1, r);
        read.push_back(parseResultsText(text, "p.txt"));
        const AddOutcome added = addResultsText(*store, text, std::nullopt, "p" + std::to_string(r) + ".txt", "m",
                                                1700000000 + 3600 * r);
        ASSERT_EQ(added.result, AddResult::added) << added.message;
    }
    const ResultsRun pulsesRun = parseResultsText(pulsesFile(3), "u.txt");
    ASSERT_EQ(addResultsText(*store, pulsesFile(3), std::nullopt, "u.txt", "m", 1700000000).result, AddResult::added);

    // Listed by program, prisms before pulses; every frame and block comes
    // back as read, steps and complete frames too.
    const std::vector<StoredRun> stored = (*store).list("m", "");
    ASSERT_EQ(stored.size(), 17u);
    const std::vector<ResultsRun> data = (*store).runsData(stored);
    for (size_t r = 0; r < 16; ++r) {
        EXPECT_EQ(data[r].program, *prisms);
        EXPECT_TRUE(sameFrames(data[r].frames, read[r].frames)) << r;
    }
    ASSERT_EQ(data[16].program, *pulses);
    ASSERT_EQ(data[16].kernels.size(), 2u);
    EXPECT_EQ(frameCount(data[16]), 3);
    for (size_t k = 0; k < 2; ++k)
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(data[16].kernels[k][i].millionsPerSecond, pulsesRun.kernels[k][i].millionsPerSecond);

    const std::vector<Series> series = buildSeries(stored, data, "prismsPerSecond");
    ASSERT_EQ(series.size(), 1u);
    const std::vector<Finding> findings = checkSeries(series);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].point.index, 8u);
    EXPECT_EQ(findings[0].point.verdict, Verdict::faster);
    EXPECT_NE(textFindings(findings, 1).find("m  prisms  prismsPerSecond: change before run 9 of 16"),
              std::string::npos);
}

}  // namespace
