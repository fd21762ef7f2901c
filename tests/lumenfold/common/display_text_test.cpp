#include <gtest/gtest.h>

#include "common/display_text.h"
#include "fixtures.h"
#include "output/csv_format.h"
#include "output/json_format.h"
#include "output/run_words.h"
#include "output/text_format.h"

using nlohmann::json;

namespace {

// The reports of these tests are plain ASCII: printable characters and newlines only.
bool printableAscii(const std::string& text) {
    for (unsigned char c : text)
        if ((c < 0x20 && c != '\n') || c >= 0x7f) return false;
    return true;
}

TEST(DisplayText, ControlCharactersAndInvalidUtf8AreEscaped) {
    EXPECT_EQ(displayText("\x1b[31mred"), "\\x1b[31mred");
    EXPECT_EQ(displayText(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(displayText("a\rb\tc\x7f"), "a\\x0db\\x09c\\x7f");
    // A lone byte, a cut-off sequence, an overlong "/", a UTF-16 surrogate, past U+10FFFF.
    EXPECT_EQ(displayText("\xff"), "\\xff");
    EXPECT_EQ(displayText("\xe2\x82"), "\\xe2\\x82");
    EXPECT_EQ(displayText("\xc0\xaf"), "\\xc0\\xaf");
    EXPECT_EQ(displayText("\xed\xa0\x80"), "\\xed\\xa0\\x80");
    EXPECT_EQ(displayText("\xf4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80");
    // C1 CSI, which some terminals take as ESC [, and a right-to-left override.
    EXPECT_EQ(displayText("\xc2\x9b" "31m"), "\\xc2\\x9b31m");
    EXPECT_EQ(displayText("abc\xe2\x80\xae" "fed"), "abc\\u202efed");
    // A backslash cannot forge an escape.
    EXPECT_EQ(displayText("\\x1b"), "\\\\x1b");
    // Ordinary text, accents and other scripts stay as they are.
    for (const char* kept : {"It spent: 3.2 Secs. ", "caf\xc3\xa9", "\xe6\x97\xa5\xe6\x9c\xac", "\xf0\x9f\x99\x82", ""})
        EXPECT_EQ(displayText(kept), kept);
}

TEST(DisplayText, ExcerptIsCutBetweenCharacters) {
    EXPECT_EQ(displayExcerpt("abcdef", 6), "abcdef");
    EXPECT_EQ(displayExcerpt("abcdef", 3), "abc...");
    // "é" is two bytes; a cut inside it backs off to before it.
    EXPECT_EQ(displayExcerpt("ab\xc3\xa9z", 3), "ab...");
    EXPECT_EQ(displayExcerpt("\x1b\x1b\x1b", 2), "\\x1b\\x1b...");
}

// A file whose lines and whose name hold everything a terminal might act on.
TEST(DisplayText, EveryReportFormatShowsHostileTextEscaped) {
    const std::string hostile = std::string("\x1b[31m\0\r\xff\xc2\x9b", 10);
    const std::string name = "runs/" + hostile + ".txt";
    std::string damaged = trianglesFile;
    damaged.replace(damaged.find("It drew 1800"), 7, "It " + hostile);
    const std::vector<ResultsRun> runs = {parseResultsText(hostile + "\n", name), parseResultsText(damaged, name)};
    ASSERT_EQ(runs[0].problems.size(), 1u);
    ASSERT_FALSE(runs[1].problems.empty());

    std::string problems;
    for (const ResultsRun& run : runs)
        for (const Problem& p : run.problems) problems += problemText(run, p) + "\n";
    const std::string shown = "\\x1b[31m\\x00\\x0d\\xff\\xc2\\x9b";
    EXPECT_NE(problems.find("runs/" + shown + ".txt:1: not a Lumenfold results file: the first line is \"" + shown),
              std::string::npos)
        << problems;
    EXPECT_NE(problems.find("found \"It " + shown), std::string::npos) << problems;

    std::string text = textReport(withoutContexts(runs));
    std::string csv = csvReport(withoutContexts(runs));
    const std::string jsonText = jsonReport(withoutContexts(runs));
    for (const std::string* out : {&problems, &text, &csv}) {
        EXPECT_TRUE(printableAscii(*out)) << *out;
        EXPECT_NE(out->find(shown), std::string::npos) << *out;
    }
    // JSON still parses, and carries the escaped forms.
    EXPECT_TRUE(printableAscii(jsonText)) << jsonText;
    const json doc = json::parse(jsonText);
    EXPECT_EQ(doc[0]["file"], "runs/" + shown + ".txt");
    EXPECT_NE(doc[1]["problems"][0]["message"].get<std::string>().find(shown), std::string::npos);
}

}  // namespace
