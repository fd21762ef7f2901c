#include <gtest/gtest.h>

#include <cmath>

#include <nlohmann/json.hpp>

#include "output/formats.h"

using nlohmann::json;

// An interval without finite bounds (one sample a side; a median of zero on
// one side) is "no interval" in every format of the table, of a comparison
// and of a change point alike: null in JSON, empty cells in CSV, never a
// bound of "inf" or "nan".
TEST(Formats, AnIntervalWithoutFiniteBoundsIsNoIntervalInEveryFormat) {
    FigureComparison figure;
    figure.program = findProgram("cube");
    figure.figure = "verticesPerSecond";
    figure.label = "vertices/s";
    figure.ratio = Interval{1.5, 0.5, INFINITY};
    Comparison comparison;
    comparison.programs = {ProgramComparison{findProgram("cube"), {"a.txt"}, {"b.txt"}, {figure}, {}, {}}};

    const auto stored = [](long long id) {
        StoredRun run;
        run.id = id;
        run.machine = "box";
        run.program = "cube";
        return run;
    };
    const StoredRun before = stored(1), after = stored(2);
    Series series{"box", "cube", "frameSeconds", "frame time (s)", Direction::lowerIsBetter, {&before, &after}, {}};
    const std::vector<Finding> findings = {
        Finding{&series, ChangePoint{1, 1.0, 2.0, 0.001, Interval{2.0, NAN, NAN}, Verdict::slower}, {}}};

    for (const OutputFormat& format : outputFormats()) {
        const std::string compared = format.comparison(comparison), found = format.findings(findings, 1);
        if (format.name == "json") {
            const json c = json::parse(compared)["figures"][0], f = json::parse(found)[0];
            EXPECT_EQ(c["ratio"], 1.5);
            EXPECT_EQ(f["ratio"], 2.0);
            for (const json& entry : {c, f})
                EXPECT_TRUE(entry["ciLow"].is_null() && entry["ciHigh"].is_null()) << entry;
        } else if (format.name == "csv") {
            EXPECT_NE(compared.find(",1.5,,,no clear difference,"), std::string::npos) << compared;
            EXPECT_NE(found.find(",1,2,2,,,0.001,slower,"), std::string::npos) << found;
        } else if (format.name == "text" || format.name == "markdown") {
            EXPECT_NE(compared.find("no interval"), std::string::npos) << compared;
            EXPECT_NE(found.find("2.0000 no interval"), std::string::npos) << found;
            EXPECT_EQ(compared.find("inf"), std::string::npos) << compared;
        } else {
            ADD_FAILURE() << format.name << ": a format this test does not know";
        }
    }
}

// A change point between two git revisions carries, in every format, the
// bisect that would search between them; one without carries none.
TEST(Formats, AChangeBetweenTwoRevisionsNamesTheBisectInEveryFormat) {
    StoredRun before, after;
    before.id = 1;
    after.id = 2;
    Series series{"box", "streaming", "floatMexecPerSecond", "float kernel Mexec/s", Direction::higherIsBetter,
                  {&before, &after}, {}};
    const ChangePoint point{1, 2.0, 1.0, 0.001, Interval{0.5, 0.4, 0.6}, Verdict::slower};
    const std::vector<Finding> findings = {
        Finding{&series, point, {{"revision", {"1a2b3c4d5e", "9f8e7d6c5b"}}}},
        Finding{&series, point, {{"renderer", {"llvmpipe", "softpipe"}}}}};
    const std::string command = "lumenfold bisect streaming --figure floatMexecPerSecond --repo REPOSITORY --good "
                                "1a2b3c4d5e --bad 9f8e7d6c5b --build 'BUILD'";
    for (const OutputFormat& format : outputFormats()) {
        const std::string found = format.findings(findings, 1);
        if (format.name == "json") {
            const json f = json::parse(found);
            EXPECT_EQ(f[0]["bisect"], command);
            EXPECT_EQ(f[1]["bisect"], "");
        } else {
            const size_t first = found.find(command);
            EXPECT_NE(first, std::string::npos) << format.name << ":\n" << found;
            EXPECT_EQ(found.find(command, first + 1), std::string::npos) << format.name << ":\n" << found;
        }
    }
}
