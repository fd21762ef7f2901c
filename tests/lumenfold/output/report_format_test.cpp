#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "fixtures.h"
#include "common/display_text.h"
#include "analysis/outliers.h"
#include "output/csv_format.h"
#include "output/json_format.h"
#include "output/markdown_format.h"
#include "output/markdown_table.h"
#include "output/plot_script.h"
#include "output/text_format.h"

using nlohmann::json;

namespace {

std::vector<std::string> splitCsvLine(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(field);
    return fields;
}

std::vector<std::vector<std::string>> csvRows(const std::string& csv) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(csv);
    std::string line;
    while (std::getline(in, line)) rows.push_back(splitCsvLine(line));
    return rows;
}

TEST(ReportFormat, CsvHasAHeaderAndOneRowPerFigureOfEveryFile) {
    const std::vector<ResultsRun> runs = {parseResultsText(trianglesFile, "a, \"quoted\".txt"),
                                          parseResultsText(streamingFile, "s.txt")};
    const auto rows = csvRows(csvReport(withoutContexts(runs)));
    // triangles: three per-frame figures and its rate at steps 1 and 2; streaming: seven.
    ASSERT_EQ(rows.size(), 1u + 3u + 2u + 7u);
    const std::vector<std::string> header = {"file", "program", "frames", "figure", "count", "min",
                                             "median", "mean", "max", "stddev", "p95", "skipped_frames",
                                             "outlier_frames", "first_outlier_frames", "slow_first_frame"};
    EXPECT_EQ(rows[0], header);
    for (const auto& row : rows) EXPECT_EQ(row.size(), header.size());
    EXPECT_EQ(rows[1][0], "a, \"quoted\".txt");
    EXPECT_EQ(rows[3][3], "trianglesPerSecond");
    EXPECT_EQ(rows[3][7], "1633.64");   // (1524.78 + 1742.5) / 2
    EXPECT_EQ(rows[5][3], "trianglesPerSecondStep2");
    EXPECT_EQ(rows[5][6], "1742.5");
    EXPECT_EQ(rows[12][3], "logicMexecPerSecond");
    EXPECT_EQ(rows[12][2], "2");
}

TEST(ReportFormat, JsonParsesBackWithFiguresFramesAndProblems) {
    std::string truncated = trianglesFile.substr(0, trianglesFile.find("window: 1\nIt drew 1800"));
    const std::vector<ResultsRun> runs = {parseResultsText(cubeFile, "c.txt"),
                                          parseResultsText(truncated, "t.txt")};
    std::vector<ReportedRun> reported = withoutContexts(runs);
    reported.push_back(reported[0]);
    reported.back().context = parseContext(R"({"validation": true})", "v.json");
    const json doc = json::parse(jsonReport(reported));
    ASSERT_TRUE(doc.is_array());
    ASSERT_EQ(doc.size(), 3u);

    const json& cube = doc[0];
    EXPECT_EQ(cube["program"], "cube");
    EXPECT_EQ(cube["frames"], 2);
    EXPECT_TRUE(cube["complete"].get<bool>());
    EXPECT_DOUBLE_EQ(cube["statistics"]["frameSeconds"]["mean"].get<double>(), 0.375);
    EXPECT_DOUBLE_EQ(cube["statistics"]["verticesPerSecond"]["max"].get<double>(), 6.71089e+07);
    EXPECT_EQ(cube["perFrame"].size(), 2u);

    // One frame read: its deviation is undefined, written as null.
    const json& triangles = doc[1];
    EXPECT_FALSE(triangles["complete"].get<bool>());
    EXPECT_TRUE(triangles["statistics"]["frameSeconds"]["stddev"].is_null());
    EXPECT_EQ(triangles["perFrame"][0]["step"], 1);
    ASSERT_EQ(triangles["problems"].size(), 1u);
    EXPECT_EQ(triangles["problems"][0]["line"], 13);

    // A validation run keeps its frames but gives no figure.
    EXPECT_EQ(doc[2]["validation"], true);
    EXPECT_TRUE(doc[2]["statistics"].empty());
    EXPECT_EQ(doc[2]["perFrame"].size(), 2u);
    EXPECT_NE(textReport({reported[2]}).find("validation run"), std::string::npos);
    EXPECT_EQ(csvReport({reported[2]}).find("cube"), std::string::npos);
}

TEST(ReportFormat, PlotDrawsOneLinePerFileAndRefusesWhatItCannotDraw) {
    const std::vector<ResultsRun> runs = {parseResultsText(trianglesFile, "it's.txt"),
                                          parseResultsText(trianglesFile, "b.txt")};
    std::string error;
    const std::string script = plotScript(runs, "out.svg", error);
    ASSERT_FALSE(script.empty()) << error;
    EXPECT_NE(script.find("set terminal svg"), std::string::npos);
    EXPECT_NE(script.find("title 'it''s.txt'"), std::string::npos);
    EXPECT_NE(script.find("title 'b.txt'"), std::string::npos);
    // Steps 1 and 2 as x, triangles/s as y.
    EXPECT_NE(script.find("$run0 << EOD\n1 1524.78\n2 1742.5\nEOD\n"), std::string::npos);

    EXPECT_TRUE(plotScript(runs, "out.pdf", error).empty());
    EXPECT_TRUE(plotScript({runs[0], parseResultsText(cubeFile, "c.txt")}, "out.png", error).empty());
    EXPECT_NE(error.find("one program"), std::string::npos);
    EXPECT_TRUE(plotScript({parseResultsText(header(cubeTitle), "c.txt")}, "out.png", error).empty());

    // A file without frames is named, not silently missing from the plot.
    std::vector<std::string> leftOut;
    const std::string partial =
        plotScript({runs[1], parseResultsText(header(trianglesTitle), "none.txt")}, "out.png", error, &leftOut);
    EXPECT_FALSE(partial.empty());
    EXPECT_EQ(leftOut, std::vector<std::string>{"none.txt"});
}

}  // namespace

namespace {

// A cube run of 30 frames of about 0.25 s, but frame 1 takes 1.5 s and frame 7 2 s.
ResultsRun cubeWithOutliers() {
    ResultsRun run;
    run.path = "o.txt";
    run.recognised = true;
    run.program = findProgram("cube");
    for (int i = 0; i < 30; ++i) {
        Frame f;
        f.firstLine = 7 + 5 * i;
        f.seconds = i == 0 ? 1.5 : i == 6 ? 2.0 : 0.25 * (1 + 0.01 * std::sin(i));
        f.anglesPerSecond = 1 / f.seconds;
        f.rate = 16777216 / f.seconds;
        run.frames.push_back(f);
    }
    return run;
}

const std::vector<std::string>* csvRowOf(const std::vector<std::vector<std::string>>& rows, const std::string& key) {
    for (const auto& row : rows)
        if (row.size() > 3 && row[3] == key) return &row;
    return nullptr;
}

// '|' not escaped by a backslash: the cell boundaries of a Markdown table row.
size_t cellBars(const std::string& line) {
    size_t bars = 0, backslashes = 0;
    for (char c : line) {
        if (c == '|' && backslashes % 2 == 0) ++bars;
        backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    return bars;
}

}  // namespace

// The frames that stand apart are named in every format; leaving the first
// frame out says so everywhere, changes the figures and keeps the frames'
// numbers as in the file.
TEST(ReportFormat, OutliersAndSkippedFramesInEveryFormat) {
    const ReportedRun whole{cubeWithOutliers(), {}, ""};
    const std::string named = "vertices/s: 2 frames lie more than 10 spreads from the run's median: frames 1 (line 7), "
                              "7 (line 37)";
    const std::string slow = "frame 1 is much slower than the frames after it: set-up work spilling into it? "
                             "--skip-frames 1 leaves it out";
    EXPECT_NE(textReport({whole}).find("  stands out: " + named + "\n  stands out: " + slow + "\n"), std::string::npos);
    EXPECT_NE(markdownReport({whole}).find("- " + markdownText("stands out: " + named) + "\n"), std::string::npos);
    json doc = json::parse(jsonReport({whole}))[0];
    EXPECT_EQ(doc["outliers"], json::parse(R"([{"figure": "vertices/s", "count": 2, "frames": [1, 7],
                                                "lines": [7, 37], "slowFirstFrame": true}])"));
    auto rows = csvRows(csvReport({whole}));
    EXPECT_EQ(std::vector<std::string>(csvRowOf(rows, "verticesPerSecond")->end() - 4, csvRowOf(rows, "verticesPerSecond")->end()),
              (std::vector<std::string>{"0", "2", "1 7", "yes"}));
    EXPECT_EQ(csvRowOf(rows, "frameSeconds")->back(), "");

    const ReportedRun skipped{skipFrames(whole.run, 1), {}, "", 1};
    const std::string said = "the first frame of every run is left out (--skip-frames 1); the results files are unchanged";
    const std::string text = textReport({skipped});
    EXPECT_EQ(text.rfind(said + "\n", 0), 0u);
    EXPECT_NE(text.find("vertices/s: 1 frame lies"), std::string::npos);
    EXPECT_EQ(text.find("much slower"), std::string::npos);
    EXPECT_EQ(markdownReport({skipped}).rfind(markdownText(said), 0), 0u);
    doc = json::parse(jsonReport({skipped}))[0];
    EXPECT_EQ(doc["skippedFrames"], 1);
    EXPECT_EQ(doc["frames"], 29);
    EXPECT_EQ(doc["perFrame"][0]["frame"], 2);
    EXPECT_EQ(doc["outliers"][0]["frames"], json::parse("[7]"));
    EXPECT_LT(doc["statistics"]["frameSeconds"]["max"].get<double>(), 2.01);
    EXPECT_LT(doc["statistics"]["frameSeconds"]["mean"].get<double>(),
              json::parse(jsonReport({whole}))[0]["statistics"]["frameSeconds"]["mean"].get<double>());
    rows = csvRows(csvReport({skipped}));
    EXPECT_EQ((*csvRowOf(rows, "verticesPerSecond"))[11], "1");
}

// A file name may hold anything: in Markdown it shows as displayText shows
// it, and a table row keeps its cells.
TEST(ReportFormat, MarkdownEscapesWhatWouldBreakATableOrMarkUpText) {
    EXPECT_EQ(markdownText(displayText("a|b*c_`d`\\e<i>[x](y)#&amp;~\x1b")),
              "a\\|b\\*c\\_\\`d\\`\\\\\\\\e\\<i\\>\\[x\\](y)\\#\\&amp;\\~\\\\x1b");
    const std::string report = markdownReport(withoutContexts({parseResultsText(cubeFile, "x\\|y|.txt")}));
    std::istringstream lines(report);
    std::string line;
    size_t tableRows = 0;
    while (std::getline(lines, line))
        if (!line.empty() && line[0] == '|') {
            EXPECT_EQ(cellBars(line), 9u) << line;
            ++tableRows;
        }
    EXPECT_EQ(tableRows, 2u + 3u);
    EXPECT_NE(report.find("### x\\\\\\\\\\|y\\|.txt"), std::string::npos);
}
