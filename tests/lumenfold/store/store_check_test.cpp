#include "store/store_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>
#include <unistd.h>

#include "fixtures.h"
#include "store/history_add.h"

namespace {

std::string number(double value) {
    char text[32];
    snprintf(text, sizeof text, "%g", value);
    return text;
}

// A night's run as the program writes it: `level` scales every rate.
std::string resultsText(const std::string& program, double level, std::mt19937_64& engine) {
    std::normal_distribution<double> noise(1, 0.01);
    if (program == "streaming") {
        std::string text = header(streamingTitle, "0.6");
        for (int f = 0; f < 6; ++f) {
            text += kernelBlock("Float Streaming.", "The system spent: ", number(0.5 / level * noise(engine)).c_str(), "268");
            text += kernelBlock("Integer Streaming.", "The system spent: ", number(1.2 / level * noise(engine)).c_str(), "111");
            text += kernelBlock("Logic Streaming.", "The spent: ", number(0.25 / level * noise(engine)).c_str(), "537") + "\n\n";
        }
        return text;
    }
    const bool triangles = program == "triangles";
    std::string text = header(triangles ? trianglesTitle : cubeTitle, "6.2");
    for (int f = 0; f < 6; ++f) {
        const double seconds = 0.25 / level * noise(engine), rate = (triangles ? 600.0 * (f + 2) : 16777216) / seconds;
        text += "window: 1\n" + (triangles ? "It drew " + number(600.0 * (f + 2)) + " Triangles.\nIt spent: "
                                           : std::string("The system spent: ")) +
                number(seconds) + " Secs. \nIt was: " + number(1 / seconds) + " Angles/sec.\nIt was: " + number(rate) +
                (triangles ? " Triangles/sec.\n\n" : " Vertex/sec.\n\n");
    }
    return text + "Total running time:  1.5 Secs. \nAverage Angles/Sec: 4 Angles/Sec.\n" +
           (triangles ? "\n" : "Average Vertex/Sec: 6.7e+07 Vertex/Sec.\n\n");
}

// Three machines' sixty nights of the three programs, added night by night
// as a fleet adds them; machine b's cube 10% faster from night 30 on a new
// renderer, one validation run stored excluded.
class StoreCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("store-check-test-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        std::string error;
        ASSERT_TRUE(storeLocation("sqlite:" + (dir_ / "history.sqlite").string(), location_, error)) << error;
        store_ = std::make_unique<HistoryStore>(location_);
        std::mt19937_64 engine(7);
        for (int night = 0; night < 60; ++night)
            for (const char* machine : {"a", "b", "c"})
                for (const std::string program : {"triangles", "cube", "streaming"}) {
                    const bool changed = machine[0] == 'b' && program == "cube" && night >= 30;
                    const std::string context = std::string(R"({"gl": {"renderer": ")") + (changed ? "new" : "old") +
                                                "\"}" + (night == 12 && machine[0] == 'c' ? R"(, "validation": true})" : "}");
                    const AddOutcome added = addResultsText(*store_, resultsText(program, changed ? 1.1 : 1, engine),
                                                            context, "night" + std::to_string(night), machine,
                                                            1'700'000'000LL + night * 86400LL);
                    ASSERT_EQ(added.result, AddResult::added) << added.message;
                }
    }
    void TearDown() override {
        store_.reset();
        std::filesystem::remove_all(dir_);
    }

    std::filesystem::path dir_;
    StoreLocation location_;
    std::unique_ptr<HistoryStore> store_;
};

void expectSameSeries(const std::vector<Series>& a, const std::vector<Series>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(std::tie(a[i].machine, a[i].program, a[i].figure), std::tie(b[i].machine, b[i].program, b[i].figure));
        EXPECT_EQ(a[i].samples, b[i].samples) << a[i].figure;
        ASSERT_EQ(a[i].runs.size(), b[i].runs.size());
        for (size_t r = 0; r < a[i].runs.size(); ++r) EXPECT_EQ(a[i].runs[r]->id, b[i].runs[r]->id);
    }
}

void expectSameFindings(const std::vector<Finding>& a, const std::vector<Series>& seriesA,
                        const std::vector<Finding>& b, const std::vector<Series>& seriesB) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].series - seriesA.data(), b[i].series - seriesB.data());
        EXPECT_EQ(a[i].point.index, b[i].point.index);
        // To the bit: each series is resampled from its own seed on any thread.
        EXPECT_EQ(0, std::memcmp(&a[i].point.ratio, &b[i].point.ratio, sizeof(Interval)));
        EXPECT_EQ(a[i].point.pValue, b[i].point.pValue);
        EXPECT_EQ(a[i].changed, b[i].changed);
    }
}

}  // namespace

TEST_F(StoreCheckTest, ReadingAndCheckingTogetherFindWhatReadingAllThenCheckingInTurnFinds) {
    for (const std::string figure : {"", "verticesPerSecond"}) {
        const std::vector<StoredRun> runs = store_->list("", "", true);
        ASSERT_EQ(runs.size(), 540u);   // more than one statement's batch of runs
        const std::vector<ResultsRun> data = store_->runsData(runs);
        const std::vector<Series> series = buildSeries(runs, data, figure);
        const std::vector<Finding> inTurn = checkSeries(series, {}, 1);
        const auto step = std::find_if(inTurn.begin(), inTurn.end(), [](const Finding& f) {
            return f.series->machine == "b" && f.series->figure == "verticesPerSecond";
        });
        ASSERT_NE(step, inTurn.end());
        EXPECT_EQ(step->point.index, 30u);
        EXPECT_EQ(step->changed.at("renderer"), std::make_pair(std::string("old"), std::string("new")));
        expectSameFindings(checkSeries(series, {}, 4), series, inTurn, series);

        StoreCheck together;
        together.runs = runs;
        size_t reports = 0;
        readAndCheck(*store_, figure, together, 3, [&](size_t, size_t, size_t, size_t) { ++reports; });
        expectSameSeries(together.series, series);
        expectSameFindings(together.findings, together.series, inTurn, series);
        // The validation run is no sample of any series.
        for (const Series& s : together.series)
            for (const StoredRun* run : s.runs) EXPECT_FALSE(run->excluded);
    }
}

TEST_F(StoreCheckTest, ADamagedRunStopsTheCheckWithItsError) {
    const std::vector<StoredRun> runs = store_->list("", "", true);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir_ / "history.sqlite").c_str(), &db), SQLITE_OK);
    const std::string damage = "UPDATE frame_columns SET count = count + 1 WHERE run_id = " +
                               std::to_string(runs[400].id);
    EXPECT_EQ(sqlite3_exec(db, damage.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    StoreCheck check;
    check.runs = runs;
    try {
        readAndCheck(*store_, "", check, 2);
        ADD_FAILURE() << "a damaged run was read";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("run " + std::to_string(runs[400].id) + " "), std::string::npos)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("damaged"), std::string::npos) << e.what();
    }
}
