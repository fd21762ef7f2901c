#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "results.h"

namespace {

const char* const trianglesFormat =
    "results_triangles_lite_windows @ local date %Y.%m.%d time %H.%M.%S.txt";

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs each test in a directory of its own, so exclusive creation meets only
// the files the test made.
class ResultsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumenfold-resultsXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(directory.c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(previous), 0);
        std::string command = "rm -rf '" + directory + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    std::string directory;
    char previous[4096];
};

TEST(ResultsName, FormedFromTheLocalStartTime) {
    setenv("TZ", "UTC", 1);
    tzset();
    tm start{};
    start.tm_year = 2019 - 1900;
    start.tm_mon = 11;
    start.tm_mday = 6;
    start.tm_hour = 14;
    start.tm_min = 5;
    start.tm_sec = 9;
    char name[1024];
    formatResultsName(name, sizeof name, trianglesFormat, timegm(&start));
    EXPECT_STREQ(name, "results_triangles_lite_windows @ local date 2019.12.06 time 14.05.09.txt");
}

TEST(ResultsName, LaterCandidatesNumberedBeforeTheExtension) {
    char name[1024];
    candidateResultsName(name, sizeof name, "run @ 14.05.09.txt", 1);
    EXPECT_STREQ(name, "run @ 14.05.09.txt");
    candidateResultsName(name, sizeof name, "run @ 14.05.09.txt", 2);
    EXPECT_STREQ(name, "run @ 14.05.09 (2).txt");
    candidateResultsName(name, sizeof name, "run @ 14.05.09.txt", 13);
    EXPECT_STREQ(name, "run @ 14.05.09 (13).txt");
}

TEST_F(ResultsFileTest, ASecondRunInTheSameSecondNeverOverwritesTheFirst) {
    char first[1024], second[1024], third[1024];
    FILE* a = createResultsFile("same second.txt", first, sizeof first);
    ASSERT_NE(a, nullptr);
    fputs("first run\n", a);
    fclose(a);

    FILE* b = createResultsFile("same second.txt", second, sizeof second);
    ASSERT_NE(b, nullptr);
    fputs("second run\n", b);
    fclose(b);
    FILE* c = createResultsFile("same second.txt", third, sizeof third);
    ASSERT_NE(c, nullptr);
    fclose(c);

    EXPECT_STREQ(first, "same second.txt");
    EXPECT_STREQ(second, "same second (2).txt");
    EXPECT_STREQ(third, "same second (3).txt");
    EXPECT_EQ(readFile(directory + "/same second.txt"), "first run\n");
    EXPECT_EQ(readFile(directory + "/same second (2).txt"), "second run\n");
}

TEST_F(ResultsFileTest, FailureOtherThanAClashIsReportedNotRetried) {
    char chosen[1024];
    errno = 0;
    FILE* file = createResultsFile("no such directory/results.txt", chosen, sizeof chosen);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_STREQ(chosen, "no such directory/results.txt");

    ASSERT_EQ(mkdir("taken (2).txt", 0755), 0);  // a directory is not a free name either
    FILE* clash = fopen("taken.txt", "w");
    ASSERT_NE(clash, nullptr);
    fclose(clash);
    FILE* next = createResultsFile("taken.txt", chosen, sizeof chosen);
    ASSERT_NE(next, nullptr);
    fclose(next);
    EXPECT_STREQ(chosen, "taken (3).txt");
}

TEST(ResultsPath, SlashSeparatedAndNeverCutShort) {
    EXPECT_EQ(resultsPathFor("/home/user", "r.txt"), "/home/user/r.txt");
    EXPECT_EQ(resultsPathFor("/", "r.txt"), "/r.txt");
    EXPECT_EQ(resultsPathFor(nullptr, "r.txt"), "r.txt");

    const std::string deep(5000, 'd');
    const std::string name = "results_cube_lite_windows @ local date 2019.12.06 time 14.05.09.txt";
    const std::string path = resultsPathFor(("/" + deep).c_str(), name.c_str());
    EXPECT_EQ(path.size(), 1 + deep.size() + 1 + name.size());
    EXPECT_EQ(path.substr(path.size() - name.size()), name);
}

}  // namespace
