#include <gtest/gtest.h>

#include "fixtures.h"
#include "output/html_report.h"

namespace {

const ChartLibrary library{"Charts", "9.9", "test", "var Chart = 1; /* </script> inside the library */"};

size_t occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(HtmlReport, QuotedNamesAndGlStringsShowAsText) {
    const std::string hostileContext =
        R"({"program": "cube", "date": "2026-12-07T<b>&</b>+01:00", "gl": {"vendor": "V&V", "renderer": "<script>alert(1)</script>", "version": "4.5"},
            "warnings": ["software rasteriser <i>llvmpipe</i>"]})";
    ReportedRun run{parseResultsText(cubeFile, "runs/<b>&\"'.txt"), parseContext(hostileContext, "c.json"), ""};
    ASSERT_TRUE(run.context.present);
    const std::string page = htmlPage({run}, {}, library, "lumenfold test");

    EXPECT_NE(page.find("&lt;b&gt;&amp;&quot;&#39;.txt"), std::string::npos);
    EXPECT_NE(page.find("<h3>#1 2026-12-07 &lt;b&gt;&amp;&lt;/b&gt;</h3>"), std::string::npos);
    EXPECT_NE(page.find("<td>&lt;script&gt;alert(1)&lt;/script&gt;</td>"), std::string::npos);
    EXPECT_NE(page.find("<li>software rasteriser &lt;i&gt;llvmpipe&lt;/i&gt;</li>"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    // Only the library, the data and the page's own script; the library's
    // text cannot close its element early.
    EXPECT_EQ(occurrences(page, "<script"), 3u);
    EXPECT_EQ(occurrences(page, "</script>"), 3u);
    EXPECT_NE(page.find("<\\/script> inside the library"), std::string::npos);
    // In the data the page draws from, markup characters are \u escapes.
    const size_t data = page.find("id=\"lumenfold-data\">");
    ASSERT_NE(data, std::string::npos);
    const std::string json = page.substr(data, page.find("</script>", data) - data);
    EXPECT_NE(json.find("\\u003cb\\u003e\\u0026"), std::string::npos) << json;
    EXPECT_NE(page.find("Charts 9.9"), std::string::npos);
}

TEST(HtmlReport, EachProgramGetsItsChartsAndDamageIsListed) {
    const std::string truncated = cubeFile.substr(0, cubeFile.find("window: 1\nThe system spent: 0.5"));
    const std::vector<ReportedRun> runs = {{parseResultsText(trianglesFile, "t.txt"), {}, ""},
                                           {parseResultsText(truncated, "c.txt"), {}, ""},
                                           {parseResultsText(streamingFile, "s.txt"), {}, ""},
                                           {parseResultsText("garbage\n", "g.txt"), parseContext("[1", "g.json"), ""}};
    const std::string page = htmlPage(runs, {}, library, "lumenfold test");
    for (const char* chart : {"data-program=\"triangles\" data-chart=\"trianglesPerSecondStep\"",
                              "data-program=\"cube\" data-chart=\"verticesPerSecond\"",
                              "data-program=\"streaming\" data-chart=\"logicMexecPerSecond\""})
        EXPECT_NE(page.find(chart), std::string::npos) << chart;
    EXPECT_EQ(occurrences(page, "data-chart=\"setupSeconds\" data-kind=\"per-run\""), 3u);
    EXPECT_EQ(occurrences(page, "data-chart=\"frameSeconds\" data-kind=\"per-frame\""), 3u);
    // Each run's statistics as the text report gives them: triangles/s's mean.
    EXPECT_NE(page.find("<tr data-figure=\"trianglesPerSecond\"><td>triangles/s</td><td class=\"number\">2</td>"
                        "<td class=\"number\">1524.78</td><td class=\"number\">1633.64</td>"),
              std::string::npos);
    // The problems of both files and of the context file, on the page.
    EXPECT_NE(page.find("<li>c.txt:12: the file ends without the final summary"), std::string::npos);
    EXPECT_NE(page.find("<li>g.txt:1: not a Lumenfold results file"), std::string::npos);
    EXPECT_NE(page.find("<li>g.json: not a context file"), std::string::npos);
    EXPECT_EQ(page.find("id=\"file-problems\" hidden"), std::string::npos);
    // Only the whole frames read are drawn.
    EXPECT_NE(page.find("\"frameSeconds\":{\"x\":[1.0],\"y\":[0.25]}"), std::string::npos);
}

TEST(HtmlReport, ComparisonShowsBothSidesAndEveryVerdict) {
    const ResultsRun a = parseResultsText(cubeFile, "a.txt");
    std::vector<ReportedRun> runs = {{a, parseContext(R"({"date": "2026-12-07T14:05:09+01:00"})", "a.json"), "A"},
                                     {a, {}, "B"}};
    std::vector<FigureComparison> figures(2);
    figures[0].program = figures[1].program = findProgram("cube");
    figures[0].figure = "verticesPerSecond";
    figures[0].label = "vertices/s";
    figures[0].ratio = Interval{1.2, 1.1, 1.3};
    figures[0].verdict = Verdict::faster;
    figures[1].figure = "setupSeconds";
    figures[1].ratio = Interval{1.0, 0.9, 1.1};
    figures[0].runsA = figures[0].runsB = figures[1].runsA = figures[1].runsB = 1;
    const std::string page = htmlPage(runs, figures, library, "lumenfold test",
                                      {"the sides differ in: GL renderer \"<b>1</b>\" / \"2\""});
    EXPECT_NE(page.find("<li>the sides differ in: GL renderer &quot;&lt;b&gt;1&lt;/b&gt;&quot; / &quot;2&quot;</li>"),
              std::string::npos);
    // Runs are named briefly, by number and start time; the full name is in their table.
    EXPECT_NE(page.find("<h3>Side A</h3>\n<article class=\"run\"><h3>A #1 2026-12-07 14:05:09</h3>"), std::string::npos);
    EXPECT_NE(page.find("<h3>Side B</h3>\n<article class=\"run\"><h3>B #2</h3>"), std::string::npos);
    EXPECT_NE(page.find("\"label\":\"A #1 2026-12-07 14:05:09\""), std::string::npos);
    EXPECT_NE(page.find("<td class=\"number\">1.2</td><td class=\"number\">1.1 to 1.3</td><td class=\"faster\">faster"),
              std::string::npos);
    EXPECT_NE(page.find("no clear difference"), std::string::npos);
    EXPECT_NE(page.find("One run per side"), std::string::npos);
    EXPECT_EQ(occurrences(page, "data-kind=\"ratios\""), 1u);
}

}  // namespace
