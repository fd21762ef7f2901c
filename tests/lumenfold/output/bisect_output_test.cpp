#include <gtest/gtest.h>

#include "output/bisect_output.h"

namespace {

BisectReport culpritReport(double culpritRatio) {
    BisectReport r;
    r.program = "streaming";
    r.figureKey = "floatMexecPerSecond";
    r.figureLabel = "float kernel Mexec/s";
    r.runs = 3;
    r.directory = "runs";
    r.good = Revision{"a", "aaaaaaa", "a", "first", "2026-01-01T00:00:00+00:00"};
    r.bad = Revision{"d", "ddddddd", "d", "last", ""};
    r.ends = EndsJudgement{{100, 98, 102}, {70, 68, 72}, {0.7, 0.67, 0.73}, Verdict::slower};
    r.endsAgain = r.ends;
    r.culprit = Revision{"c", "ccccccc", "c", "wait at each | swap", "2026-01-02T00:00:00+00:00"};
    r.parent = Revision{"b", "bbbbbbb", "b", "", ""};
    r.confirmation = Confirmation{true, {culpritRatio, culpritRatio - 0.02, culpritRatio + 0.02}, Verdict::slower, false};
    r.confirmationRuns = 6;
    r.share = culpritShare(culpritRatio, 0.7);
    r.result = BisectResult::culprit;
    r.rows.push_back(BisectRow{r.good, "good end", 3, 100, "good", "runs/a"});
    return r;
}

TEST(BisectOutput, TheCulpritItsConfirmationAndWhatItLeavesUnexplained) {
    const std::string whole = bisectText(culpritReport(0.7));
    EXPECT_NE(whole.find("first bad commit: c \"wait at each | swap\""), std::string::npos) << whole;
    EXPECT_NE(whole.find("against its parent bbbbbbb: 0.7 [0.68, 0.72], slower (6 runs each, by turns): confirmed"),
              std::string::npos) << whole;
    EXPECT_NE(whole.find("it explains all of the change between the ends (100%)"), std::string::npos) << whole;

    // A culprit of a small part of the change names the ranges left.
    const std::string part = bisectText(culpritReport(0.9));
    EXPECT_NE(part.find("it explains only 30% of the change between the ends: there may be more than one culprit; "
                        "the rest lies between aaaaaaa and bbbbbbb, or between ccccccc and ddddddd"),
              std::string::npos) << part;

    const nlohmann::json json = bisectJson(culpritReport(0.7));
    EXPECT_EQ(json["result"], "culprit");
    EXPECT_EQ(json["culprit"]["confirmed"], true);
    EXPECT_EQ(json["revisions"][0]["runs"], 3);
    // Markdown escapes what would break its table or lines.
    EXPECT_NE(bisectMarkdown(culpritReport(0.7)).find("wait at each \\| swap"), std::string::npos);
}

TEST(BisectOutput, WithoutACulpritItSaysWhyAndWhereTheRunsAre) {
    BisectReport r = culpritReport(0.7);
    r.result = BisectResult::unreliable;
    r.reason = "the ends, measured again, no longer differ (the machine drifted)";
    const std::string text = bisectText(r);
    EXPECT_NE(text.find("the search ended at ccccccc \"wait at each | swap\", but it is not a reliable culprit: the "
                        "ends, measured again, no longer differ"),
              std::string::npos) << text;
    EXPECT_EQ(text.find("first bad commit"), std::string::npos);
    EXPECT_NE(text.find("the runs are kept in runs: the same command goes on from them"), std::string::npos);
}

}  // namespace
