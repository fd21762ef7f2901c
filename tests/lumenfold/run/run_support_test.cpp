#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "fixtures.h"
#include "run/run_support.h"

namespace {

int feed(Program program, const std::string& console, ConsoleWatch& watch) {
    watch.program = program;
    size_t begin = 0;
    for (size_t end; (end = console.find('\n', begin)) != std::string::npos; begin = end + 1)
        watchConsoleLine(watch, console.substr(begin, end - begin));
    return watch.frames;
}

TEST(ConsoleWatch, CountsFramesOfEachProgram) {
    ConsoleWatch triangles;
    EXPECT_EQ(feed(findProgram("triangles"), trianglesFile, triangles), 2);
    EXPECT_TRUE(triangles.setupDone);
    EXPECT_EQ(triangles.latestFigure, "1742.5 triangles/s");
    ConsoleWatch cube;
    EXPECT_EQ(feed(findProgram("cube"), cubeFile, cube), 2);
    EXPECT_EQ(cube.latestFigure, "3.35544e+07 vertices/s");
    // Three rate lines per streaming frame; only the logic kernel's ends it,
    // and the float kernel's is the figure shown.
    ConsoleWatch streaming;
    EXPECT_EQ(feed(findProgram("streaming"), streamingFile + streamingFrame1.substr(0, 40), streaming), 2);
    EXPECT_EQ(streaming.latestFigure, "31.5806 float M executions/s");
}

TEST(ConsoleWatch, FollowsTheClosingLines) {
    ConsoleWatch watch;
    feed(findProgram("cube"),
         "Results have been saved in a file and you can find it at: /tmp/x/results @ a.txt\n\nPress Enter to Exit.\n",
         watch);
    EXPECT_TRUE(watch.resultsSaved);
    EXPECT_EQ(watch.resultsPath, "/tmp/x/results @ a.txt");
    EXPECT_TRUE(watch.promptSeen);

    ConsoleWatch notSaved;
    feed(findProgram("cube"),
         "Results have not been saved: the results file could not be created at: /ro/r.txt\n", notSaved);
    EXPECT_TRUE(notSaved.resultsNotSaved);
    EXPECT_EQ(notSaved.resultsPath, "/ro/r.txt");
}

TEST(ConsoleWatch, ResultsShortOfTheConsoleFailTheRun) {
    ConsoleWatch whole;
    feed(findProgram("triangles"), trianglesFile, whole);
    EXPECT_EQ(resultsShortfall(whole, 2), "");
    EXPECT_EQ(resultsShortfall(whole, 3), "");
    EXPECT_EQ(resultsShortfall(whole, 1), "the results file holds 1 of the 2 frames the console showed");

    // A failed write fails the run even when every frame made it before it.
    ConsoleWatch failed;
    feed(findProgram("streaming"),
         "Results have not all been saved: writing the results file failed at: /full/r @ 1.txt\n", failed);
    EXPECT_TRUE(failed.resultsIncomplete);
    EXPECT_EQ(failed.resultsPath, "/full/r @ 1.txt");
    EXPECT_EQ(resultsShortfall(failed, 0), "streaming said writing its results file failed at /full/r @ 1.txt");

    const std::string said =
        "Writing the results file \"r @ 1.txt\" failed: No space left on device; later results are not saved.";
    watchErrorLine(failed, "Writing the results file is fun; later results are not saved");
    EXPECT_EQ(failed.writeFailure, "");
    watchErrorLine(failed, said);
    watchErrorLine(failed, "Writing the results file \"r @ 1.txt\" failed: Input/output error; later results are not saved.");
    EXPECT_EQ(failed.writeFailure, said);
    failed.frames = 4;
    EXPECT_EQ(resultsShortfall(failed, 3), "streaming could not write its results file (it said: " + said +
                                               "); the results file holds 3 of the 4 frames the console showed");
}

TEST(RunSupport, MachineDescription) {
    const CpuInfo cpu = parseCpuInfo(
        "processor\t: 0\nmodel name\t: Example CPU 3000\nphysical id\t: 0\ncore id\t\t: 0\n\n"
        "processor\t: 1\nmodel name\t: Example CPU 3000\nphysical id\t: 0\ncore id\t\t: 0\n\n"
        "processor\t: 2\nmodel name\t: Example CPU 3000\nphysical id\t: 0\ncore id\t\t: 1\n\n");
    EXPECT_EQ(cpu.model, "Example CPU 3000");
    EXPECT_EQ(cpu.logicalProcessors, 3);
    EXPECT_EQ(cpu.cores, 2);

    // The local time and its offset, on either side of UTC and across a date.
    const char* savedZone = getenv("TZ");
    const std::string zone = savedZone != nullptr ? savedZone : "";
    setenv("TZ", "EST5", 1);
    tzset();
    EXPECT_EQ(isoLocalTime(86400 * 365), "1970-12-31T19:00:00-05:00");
    setenv("TZ", "IST-5:30", 1);
    tzset();
    EXPECT_EQ(isoLocalTime(86400 * 365 + 3661), "1971-01-01T06:31:01+05:30");
    if (savedZone != nullptr)
        setenv("TZ", zone.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();

    char a0[] = "lumenfold", a1[] = "run", a2[] = "--dir", a3[] = "my dir's";
    char* argv[] = {a0, a1, a2, a3};
    EXPECT_EQ(shellQuoted(4, argv), "lumenfold run --dir 'my dir'\\''s'");
}

}  // namespace
