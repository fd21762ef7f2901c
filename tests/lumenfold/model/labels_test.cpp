// Labels and revisions from the command line to the context file, and on
// to what compare and history check say of them.
#include <gtest/gtest.h>

#include "common/name_value.h"
#include "analysis/context_differences.h"
#include "store/history_check.h"
#include "model/context_file.h"

using nlohmann::json;

namespace {

TEST(Labels, NameValuePairsAreReadOrRefusedWithTheReason) {
    std::map<std::string, std::string> labels;
    std::string error;
    ASSERT_TRUE(parseNameValues({"build=nightly-0501", "branch=", "x.y-z=a=b"}, NameKind::label, labels, error));
    EXPECT_EQ(labels, (std::map<std::string, std::string>{{"build", "nightly-0501"}, {"branch", ""}, {"x.y-z", "a=b"}}));

    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {"build"}, {"=x"}, {"a b=x"}, {"b=1", "b=2"}, {"na\x1bme=x"}}) {
        std::map<std::string, std::string> out;
        EXPECT_FALSE(parseNameValues(wrong, NameKind::label, out, error)) << wrong.front();
        EXPECT_EQ(error.find('\x1b'), std::string::npos);
    }
    std::map<std::string, std::string> environment;
    EXPECT_TRUE(parseNameValues({"LD_LIBRARY_PATH={tree}/lib"}, NameKind::variable, environment, error));
    EXPECT_FALSE(parseNameValues({"1ABC=x"}, NameKind::variable, environment, error));
    EXPECT_FALSE(parseNameValues({"A.B=x"}, NameKind::variable, environment, error));
}

TEST(Labels, TheContextKeepsLabelsAndRevisions) {
    EXPECT_EQ(driverRevisionOf("4.5 (Compatibility Profile) Mesa 24.1.0-devel (git-1a2b3c4d5e)"), "1a2b3c4d5e");
    EXPECT_FALSE(driverRevisionOf("4.5 (Compatibility Profile) Mesa 22.3.6"));
    EXPECT_FALSE(driverRevisionOf("4.6.0 NVIDIA 535.104.05 (git-1a2b3c4d5e)"));
    EXPECT_FALSE(driverRevisionOf("Mesa 24.1.0-devel (git-1a2b3)"));
    EXPECT_FALSE(driverRevisionOf("Mesa 24.1.0-devel (git-1a2b3c4d5e"));

    RunContext written;
    written.labels = {{"build", "nightly-0501"}};
    written.revision = "0123456789abcdef0123456789abcdef01234567";
    written.driverRevision = "1a2b3c4d5e";
    const json text = written;
    EXPECT_EQ(text["labels"]["build"], "nightly-0501");
    const RunContext read = parseContext(text.dump(), "c.json").context;
    EXPECT_EQ(read.labels, written.labels);
    EXPECT_EQ(read.revision, written.revision);
    EXPECT_EQ(read.driverRevision, written.driverRevision);
    // A run without them writes none of them, as before.
    const json plain = RunContext{};
    EXPECT_FALSE(plain.contains("labels") || plain.contains("revision") || plain.contains("driverRevision"));
}

TEST(Labels, CompareNamesTheLabelsThatDiffer) {
    const auto side = [](json labels) {
        json context = {{"version", "1.0"}};
        if (!labels.is_null()) context["labels"] = labels;
        return std::vector<RunConditions>{conditionsOfContext(context)};
    };
    std::vector<std::string> lines;
    for (const ConditionDifference& d :
         conditionDifferences(side({{"build", "a"}, {"same", "x"}}), side({{"same", "x"}, {"build", "b"}, {"new", "1"}})))
        lines.push_back(d.line);
    EXPECT_EQ(lines, (std::vector<std::string>{"the sides differ in: label build \"a\" / \"b\"",
                                               "the sides differ in: label new unset / \"1\""}));
    EXPECT_TRUE(conditionDifferences(side({{"build", "a"}}), side({{"build", "a"}})).empty());
    // A label's name from a file edited by hand is shown safely.
    const std::vector<ConditionDifference> odd = conditionDifferences(side({{"b\x1b", "a"}}), side(nullptr));
    ASSERT_EQ(odd.size(), 1u);
    EXPECT_EQ(odd[0].label, "label b\\x1b");
}

TEST(Labels, HistoryCheckNamesLabelAndRevisionChangesAndTheBisectThatWouldSearchThem) {
    const std::string before = R"j({"gl": {"version": "4.5 Mesa 24.1.0-devel (git-1a2b3c4d5e)"},
        "labels": {"build": "nightly-0501"}})j";
    const std::string after = R"j({"gl": {"version": "4.5 Mesa 24.1.0-devel (git-9f8e7d6c5b)"},
        "labels": {"build": "nightly-0502"}})j";
    const ContextChanges changed = contextChanges(before, after);
    EXPECT_EQ(changed.at("label.build"), std::make_pair(std::string("nightly-0501"), std::string("nightly-0502")));
    EXPECT_EQ(changed.at("driverRevision"), std::make_pair(std::string("1a2b3c4d5e"), std::string("9f8e7d6c5b")));
    Series series;
    series.program = "streaming";
    series.figure = "floatMexecPerSecond";
    EXPECT_EQ(bisectSuggestion(series, changed),
              "lumenfold bisect streaming --figure floatMexecPerSecond --repo MESA_REPOSITORY --good 1a2b3c4d5e "
              "--bad 9f8e7d6c5b --build 'BUILD'");

    // A revision lumenfold built names the tree itself, and comes first.
    const ContextChanges built = contextChanges(R"j({"revision": "aaaaaaaaaaaa", "gl": {"version": "Mesa (git-1a2b3c4d5e)"}})j",
                                                R"j({"revision": "bbbbbbbbbbbb", "gl": {"version": "Mesa (git-9f8e7d6c5b)"}})j");
    EXPECT_NE(bisectSuggestion(series, built).find("--repo REPOSITORY --good aaaaaaaaaaaa --bad bbbbbbbbbbbb"),
              std::string::npos);
    // Only one side with a revision, or something that is no hash: nothing to suggest.
    EXPECT_EQ(bisectSuggestion(series, contextChanges(R"j({"revision": "aaaaaaaaaaaa"})j", R"j({})j")), "");
    EXPECT_EQ(bisectSuggestion(series, contextChanges(R"j({"revision": "aaaaaaa; rm"})j", R"j({"revision": "bbbbbbbb"})j")), "");
}

}  // namespace
