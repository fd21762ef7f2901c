#include <gtest/gtest.h>

#include <sstream>

#include "fixtures.h"
#include "report/plot_script.h"
#include "report/report_format.h"

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
                                             "median", "mean", "max", "stddev", "p95"};
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
