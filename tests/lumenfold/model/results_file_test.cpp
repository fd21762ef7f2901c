#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "fixtures.h"
#include "model/results_file.h"

namespace {

std::string problemsOf(const ResultsRun& run) {
    std::string all;
    for (const Problem& p : run.problems) all += std::to_string(p.line) + ": " + p.message + "\n";
    return all;
}

// Everything up to the given line, each line still ended.
std::string firstLines(const std::string& text, int lines) {
    size_t at = 0;
    for (int i = 0; i < lines; ++i) at = text.find('\n', at) + 1;
    return text.substr(0, at);
}

TEST(ResultsFile, TrianglesFileReadsEveryFrameAndTheSummary) {
    const ResultsRun run = parseResultsText(trianglesFile, "t.txt");
    EXPECT_TRUE(run.problems.empty()) << problemsOf(run);
    ASSERT_TRUE(run.recognised);
    EXPECT_EQ(run.program, findProgram("triangles"));
    EXPECT_DOUBLE_EQ(run.setupSeconds, 3.189);
    ASSERT_EQ(run.frames.size(), 2u);
    EXPECT_EQ(run.frames[1].firstLine, 13);
    EXPECT_EQ(run.frames[1].window, 1);
    EXPECT_DOUBLE_EQ(run.frames[1].triangles, 1800);
    EXPECT_DOUBLE_EQ(run.frames[1].seconds, 1.033);
    EXPECT_DOUBLE_EQ(run.frames[1].anglesPerSecond, 0.968054);
    EXPECT_DOUBLE_EQ(run.frames[1].rate, 1742.5);
    EXPECT_EQ(run.frames[0].step, 1);   // 1200 triangles: 600 a step, from step 0
    EXPECT_EQ(run.frames[1].step, 2);
    ASSERT_TRUE(run.summary.present);
    EXPECT_DOUBLE_EQ(run.summary.totalSeconds, 1.82);
    EXPECT_DOUBLE_EQ(run.summary.averageAnglesPerSecond, 1.0989);
}

TEST(ResultsFile, CubeAndStreamingFilesRead) {
    const ResultsRun cube = parseResultsText(cubeFile, "c.txt");
    EXPECT_TRUE(cube.problems.empty()) << problemsOf(cube);
    EXPECT_EQ(cube.program, findProgram("cube"));
    EXPECT_EQ(cube.frames[0].step, -1);   // cube's frames have no step
    ASSERT_EQ(cube.frames.size(), 2u);
    EXPECT_DOUBLE_EQ(cube.frames[0].rate, 6.71089e+07);
    EXPECT_DOUBLE_EQ(cube.summary.averageVerticesPerSecond, 4.47392e+07);

    const ResultsRun streaming = parseResultsText(streamingFile, "s.txt");
    EXPECT_TRUE(streaming.problems.empty()) << problemsOf(streaming);
    EXPECT_EQ(streaming.program, findProgram("streaming"));
    EXPECT_EQ(frameCount(streaming), 2);
    ASSERT_EQ(streaming.kernels.size(), 3u);
    for (const std::vector<KernelBlock>& blocks : streaming.kernels) EXPECT_EQ(blocks.size(), 2u);
    EXPECT_DOUBLE_EQ(streaming.kernels[2][0].seconds, 2);   // logic, "The spent: "
    EXPECT_DOUBLE_EQ(streaming.kernels[1][1].millionsPerSecond, 44.7392);
    EXPECT_EQ(streaming.kernels[0][1].firstLine, 6 + 17 + 1);
}

TEST(ResultsFile, TruncatedLastFrameKeepsTheWholeFramesAndNamesTheLine) {
    // triangles killed after "It drew" of its second frame: 14 lines.
    const ResultsRun triangles = parseResultsText(firstLines(trianglesFile, 14), "t.txt");
    ASSERT_EQ(triangles.frames.size(), 1u);
    ASSERT_EQ(triangles.problems.size(), 1u) << problemsOf(triangles);
    EXPECT_EQ(triangles.problems[0].line, 15);
    EXPECT_NE(triangles.problems[0].message.find("starts at line 13"), std::string::npos);
    EXPECT_NE(triangles.problems[0].message.find("truncated"), std::string::npos);

    // cube killed after its first frame: no summary.
    const ResultsRun cube = parseResultsText(firstLines(cubeFile, 11), "c.txt");
    EXPECT_EQ(cube.frames.size(), 1u);
    ASSERT_EQ(cube.problems.size(), 1u) << problemsOf(cube);
    EXPECT_NE(cube.problems[0].message.find("without the final summary"), std::string::npos);

    // streaming killed inside the integer block of its second frame: the
    // float block of that frame still counts for the float kernel.
    const ResultsRun streaming = parseResultsText(firstLines(streamingFile, 6 + 17 + 7), "s.txt");
    EXPECT_EQ(frameCount(streaming), 1);
    EXPECT_EQ(streaming.kernels[0].size(), 2u);
    EXPECT_EQ(streaming.kernels[1].size(), 1u);
    ASSERT_EQ(streaming.problems.size(), 1u) << problemsOf(streaming);
    EXPECT_EQ(streaming.problems[0].line, 31);

    // Killed between the last kernel block and the frame's closing lines:
    // every figure of the frame is there, the frame counts.
    const ResultsRun closing = parseResultsText(firstLines(streamingFile, 6 + 16), "s.txt");
    EXPECT_EQ(frameCount(closing), 1);
    EXPECT_EQ(closing.problems.size(), 1u) << problemsOf(closing);
}

TEST(ResultsFile, RunThatNeverDrewAFrame) {
    // Esc before any frame: the summary divides 0 by 0.
    const std::string escaped = header(trianglesTitle) +
                                "Total running time:  0 Secs. \nAverage Angles/Sec: -nan(ind) Angles/Sec.\n\n";
    const ResultsRun run = parseResultsText(escaped, "t.txt");
    EXPECT_TRUE(run.problems.empty()) << problemsOf(run);
    EXPECT_EQ(frameCount(run), 0);
    EXPECT_TRUE(std::isnan(run.summary.averageAnglesPerSecond));

    // Only the title and the set-up line: triangles and cube never got Esc...
    const ResultsRun killed = parseResultsText(header(cubeTitle), "c.txt");
    EXPECT_EQ(frameCount(killed), 0);
    EXPECT_TRUE(killed.hasSetup);
    ASSERT_EQ(killed.problems.size(), 1u);
    EXPECT_EQ(killed.problems[0].line, 7);

    // ...while streaming has no summary to miss.
    const ResultsRun streaming = parseResultsText(header(streamingTitle), "s.txt");
    EXPECT_TRUE(streaming.problems.empty()) << problemsOf(streaming);
    EXPECT_EQ(frameCount(streaming), 0);

    // Killed during set-up: only the title.
    const ResultsRun early = parseResultsText(trianglesTitle + "\n\n\n", "t.txt");
    EXPECT_FALSE(early.hasSetup);
    ASSERT_EQ(early.problems.size(), 1u);
    EXPECT_EQ(early.problems[0].line, 4);
}

TEST(ResultsFile, DamagedLineIsNamedAndTheFramesAroundItAreKept) {
    std::string text = trianglesFile;
    text.replace(text.find("It spent: 0.787"), 15, "It spent: 0.7x7");
    const ResultsRun run = parseResultsText(text, "t.txt");
    ASSERT_EQ(run.frames.size(), 1u);
    EXPECT_DOUBLE_EQ(run.frames[0].triangles, 1800);
    ASSERT_GE(run.problems.size(), 1u);
    EXPECT_EQ(run.problems[0].line, 9);
    EXPECT_EQ(run.problems[0].message,
              "expected \"It spent: <number> Secs. \", found \"It spent: 0.7x7 Secs. \"; "
              "the frame that starts at line 7 is left out");
}

// A damaged first line of a block is skipped, not taken again as the place
// to start over (which never ended).
TEST(ResultsFile, DamagedFirstLineOfABlockIsPassedOver) {
    const struct {
        const char* from;
        const char* to;
        size_t frames;
        int line;
    } cases[] = {{"Total running time:  1.82", "Total running time: x", 2, 19},
                 {"window: 1\nIt drew 1800", "window: x\nIt drew 1800", 1, 13}};
    for (const auto& c : cases) {
        std::string text = trianglesFile;
        text.replace(text.find(c.from), strlen(c.from), c.to);
        const ResultsRun run = parseResultsText(text, "t.txt");
        EXPECT_EQ(run.frames.size(), c.frames) << c.to;
        ASSERT_FALSE(run.problems.empty()) << c.to;
        EXPECT_EQ(run.problems[0].line, c.line) << problemsOf(run);
    }
}

TEST(ResultsFile, FiguresThatContradictEachOtherAreDamage) {
    std::string text = trianglesFile;
    text.replace(text.find("1524.78"), 7, "1624.78");
    const ResultsRun rate = parseResultsText(text, "t.txt");
    ASSERT_EQ(rate.problems.size(), 1u) << problemsOf(rate);
    EXPECT_EQ(rate.problems[0].line, 11);

    // A triangle count no step draws cannot be placed on the step axis, whatever
    // the rate beside it says (the last one once overflowed the step's integer).
    for (const char* count : {"1201", "0", "-1200", "9.22337e+300", "inf"}) {
        std::string edited = trianglesFile;
        edited.replace(edited.find("1200 Triangles"), 4, count);
        const ResultsRun run = parseResultsText(edited, "t.txt");
        ASSERT_EQ(run.frames.size(), 1u) << count;
        EXPECT_EQ(run.frames[0].firstLine, 13) << count;
        EXPECT_NE(problemsOf(run).find("8: triangles drawn"), std::string::npos) << problemsOf(run);
    }

    // A frame lost from the middle shows in the summary's total.
    std::string missing = header(trianglesTitle) + trianglesFrames.substr(trianglesFrames.find("window", 1)) +
                          trianglesSummary;
    const ResultsRun total = parseResultsText(missing, "t.txt");
    ASSERT_GE(total.problems.size(), 1u);
    EXPECT_NE(total.problems[0].message.find("total running time"), std::string::npos) << problemsOf(total);
}

TEST(ResultsFile, StreamingKernelsOutOfOrderDoNotMakeAFrame) {
    const std::string text = header(streamingTitle) + kernelBlock("Float Streaming.", "The system spent: ", "4", "33.5544") +
                             kernelBlock("Logic Streaming.", "The spent: ", "2", "67.1089") + "\n\n";
    const ResultsRun run = parseResultsText(text, "s.txt");
    EXPECT_EQ(frameCount(run), 0);
    EXPECT_EQ(run.kernels[2].size(), 1u);
    ASSERT_EQ(run.problems.size(), 1u) << problemsOf(run);
    EXPECT_EQ(run.problems[0].line, 13);
}

TEST(ResultsFile, LinesThatCannotBeTrusted) {
    // A last line without its newline was cut off mid-write.
    const ResultsRun cut = parseResultsText(trianglesFile.substr(0, trianglesFile.find("1524.78") + 3), "t.txt");
    EXPECT_TRUE(cut.frames.empty());
    ASSERT_GE(cut.problems.size(), 1u);
    EXPECT_EQ(cut.problems[0].line, 11);

    const ResultsRun other = parseResultsText("hello\n", "x.txt");
    EXPECT_FALSE(other.recognised);
    ASSERT_EQ(other.problems.size(), 1u);
    EXPECT_EQ(other.problems[0].line, 1);

    EXPECT_EQ(parseResultsText("", "e.txt").problems.size(), 1u);

    // The same file with Windows line endings reads the same.
    std::string crlf;
    for (char c : cubeFile) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const ResultsRun windows = parseResultsText(crlf, "c.txt");
    EXPECT_TRUE(windows.problems.empty()) << problemsOf(windows);
    EXPECT_EQ(windows.frames.size(), 2u);
}

TEST(ResultsFile, ReportNumbers) {
    double v = 0;
    EXPECT_TRUE(parseReportNumber("6.0006e+06", v));
    EXPECT_EQ(v, 6000600.0);
    EXPECT_TRUE(parseReportNumber("inf", v));
    EXPECT_TRUE(std::isinf(v));
    EXPECT_TRUE(parseReportNumber("-nan(ind)", v));
    EXPECT_TRUE(std::isnan(v));
    for (const char* bad : {"", " 1", "1 ", "1.5x", "0x10", "infinity", "nan(0)", "+1", "1e"})
        EXPECT_FALSE(parseReportNumber(bad, v)) << bad;
    // Only the text given is read: not what follows it in the line, whatever its
    // length, and a NUL inside it does not end it early.
    EXPECT_TRUE(parseReportNumber(std::string_view("2.5e3").substr(0, 3), v));
    EXPECT_EQ(v, 2.5);
    for (size_t zeros : {62u, 63u, 64u, 200u}) {
        const std::string padded = std::string(zeros, '0') + "1.5e3";
        EXPECT_TRUE(parseReportNumber(std::string_view(padded).substr(0, zeros + 3), v)) << zeros;
        EXPECT_EQ(v, 1.5) << zeros;
        EXPECT_FALSE(parseReportNumber(padded + std::string(1, '\0') + "7", v)) << zeros;
    }
}

}  // namespace

namespace {

// Files that are not results files at all: each is refused at once with one
// problem, without reading (a pipe with no writer, an endless device).
TEST(ResultsFile, OnlyRegularFilesOfBoundedSizeAreRead) {
    char dirTemplate[] = "/tmp/lumenfold-read-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    const std::string fifo = dir + "/pipe.txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = dir + "/big.txt";
    FILE* f = fopen(big.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    ASSERT_EQ(truncate(big.c_str(), maxResultsFileBytes + 1), 0);   // sparse: costs no disk
    const std::string good = dir + "/good.txt";
    f = fopen(good.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs(cubeFile.c_str(), f);
    fclose(f);

    const struct {
        std::string path;
        std::string message;
    } refused[] = {{fifo, "not a regular file (a named pipe)"},
                   {"/dev/zero", "not a regular file (a character device)"},
                   {dir, "not a regular file (a directory)"},
                   {big, "larger than 256 MiB, more than any run writes; not read"},
                   {dir + "/missing.txt", "cannot open the file: No such file or directory"}};
    for (const auto& bad : refused) {
        const ResultsRun run = readResultsFile(bad.path);
        EXPECT_FALSE(run.recognised) << bad.path;
        ASSERT_EQ(run.problems.size(), 1u) << bad.path;
        EXPECT_EQ(run.problems[0].line, 0);
        EXPECT_EQ(run.problems[0].message, bad.message);
    }
    const ResultsRun run = readResultsFile(good);
    EXPECT_TRUE(run.problems.empty()) << problemsOf(run);
    EXPECT_EQ(frameCount(run), 2);

    for (const std::string& file : {fifo, big, good}) unlink(file.c_str());
    rmdir(dir.c_str());
}

}  // namespace
