#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "common/process.h"
#include "run/run_core.h"

namespace {

const char* const setupLine = "It spent: 0.334 Secs to Initialize.";
const char* const frameEnd = "It was: 1524.78 Triangles/sec.";
const char* const prompt = "Press Enter to Exit.";

int exitStatus(int code) {
    pid_t child = fork();
    if (child == 0) _exit(code);
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

RunMachine machine(RunLimits limits) { return RunMachine(findProgram("triangles"), limits, "Title", ":7", 0); }

TEST(RunMachine, PressesTheKeysInTurnAndEndsWell) {
    RunMachine m = machine({2, 0, 60});
    EXPECT_EQ(m.next(1), RunStep::wait);  // nothing before set-up ends
    m.consoleLine(setupLine, 2);
    EXPECT_EQ(m.next(2), RunStep::findWindow);
    m.windowsFound(0);
    EXPECT_EQ(m.next(3), RunStep::findWindow);
    m.windowsFound(1);
    EXPECT_EQ(m.next(4), RunStep::pressR);
    m.consoleLine(frameEnd, 5);
    EXPECT_EQ(m.next(5), RunStep::wait);
    m.consoleLine(frameEnd, 6);
    EXPECT_EQ(m.next(6), RunStep::pressPAndEsc);
    EXPECT_EQ(m.next(7), RunStep::wait);
    m.consoleLine(frameEnd, 8);  // the frame running at P is still reported
    m.consoleLine("Results have been saved in a file and you can find it at: /d/r.txt", 8);
    m.consoleLine(prompt, 8);
    EXPECT_EQ(m.next(8), RunStep::answerPrompt);
    EXPECT_EQ(m.next(9), RunStep::wait);
    m.exited(exitStatus(0), false);
    EXPECT_EQ(m.verdict(), "");
    EXPECT_EQ(m.watch().frames, 3);
    EXPECT_EQ(m.exitDescription(), "exited with status 0");
}

TEST(RunMachine, StopsByTimeCountedFromR) {
    RunMachine m = machine({0, 10, 60});
    m.consoleLine(setupLine, 99);
    m.windowsFound(1);
    EXPECT_EQ(m.next(100), RunStep::pressR);
    m.consoleLine(frameEnd, 105);
    EXPECT_EQ(m.next(109.9), RunStep::wait);
    EXPECT_EQ(m.next(110), RunStep::pressPAndEsc);
}

TEST(RunMachine, EachHangIsNamedByWhereItHappened) {
    RunMachine noWindow = machine({2, 0, 30});
    noWindow.consoleLine(setupLine, 0);
    EXPECT_EQ(noWindow.next(30), RunStep::findWindow);
    EXPECT_EQ(noWindow.next(30.5), RunStep::stop);
    EXPECT_EQ(noWindow.next(31), RunStep::wait);  // asked once
    noWindow.exited(SIGKILL, true);
    EXPECT_EQ(noWindow.verdict(), "no window titled \"Title\" appeared on :7 within 30 s "
                                  "(it was killed by signal 9 (Killed) when stopped)");

    RunMachine hung = machine({5, 0, 30});
    hung.consoleLine(setupLine, 0);
    hung.windowsFound(1);
    EXPECT_EQ(hung.next(1), RunStep::pressR);
    hung.consoleLine(frameEnd, 20);
    EXPECT_EQ(hung.next(50), RunStep::wait);
    EXPECT_EQ(hung.next(50.1), RunStep::stop);
    hung.exited(exitStatus(0), true);
    EXPECT_EQ(hung.verdict().rfind("triangles wrote no new report line for 30 s (hang timeout)", 0), 0u);

    RunMachine stuck = machine({1, 0, 30});
    stuck.consoleLine(setupLine, 0);
    stuck.windowsFound(1);
    stuck.next(0);
    stuck.consoleLine(frameEnd, 1);
    stuck.next(1);
    stuck.consoleLine(prompt, 2);
    EXPECT_EQ(stuck.next(2), RunStep::answerPrompt);
    EXPECT_EQ(stuck.next(40), RunStep::stop);
    EXPECT_EQ(stuck.verdict().rfind("triangles did not exit within 30 s of the answer", 0), 0u);
}

TEST(RunMachine, FailuresOtherThanHangs) {
    RunMachine two = machine({2, 0, 60});
    two.consoleLine(setupLine, 0);
    two.windowsFound(2);
    EXPECT_EQ(two.next(1), RunStep::stop);
    EXPECT_NE(two.verdict().find("more than one new window is titled \"Title\" on :7"), std::string::npos);

    RunMachine keys = machine({2, 0, 60});
    keys.stepFailed("cannot send key R");
    keys.interrupted("Interrupt");  // the first failure is the one told
    EXPECT_EQ(keys.next(0), RunStep::stop);
    keys.exited(exitStatus(0), true);
    EXPECT_EQ(keys.verdict(), "cannot send key R (it exited with status 0 when stopped)");

    RunMachine crashed = machine({2, 0, 60});
    crashed.exited(SIGSEGV, false);
    EXPECT_EQ(crashed.next(0), RunStep::wait);
    EXPECT_EQ(crashed.verdict(), "triangles was killed by signal 11 (Segmentation fault)");

    RunMachine early = machine({2, 0, 60});
    early.exited(exitStatus(0), false);
    EXPECT_EQ(early.verdict(), "triangles ended by itself before the run was finished (was its window closed?)");

    // Esc from someone at the window: answered, but not a finished run.
    RunMachine esc = machine({5, 0, 60});
    esc.consoleLine(setupLine, 0);
    esc.windowsFound(1);
    esc.next(0);
    esc.consoleLine(frameEnd, 1);
    esc.consoleLine(prompt, 1);
    EXPECT_EQ(esc.next(1), RunStep::answerPrompt);
    esc.exited(exitStatus(0), false);
    EXPECT_EQ(esc.verdict(), "the run was ended from the window of triangles (Esc) after 1 frame(s), "
                             "before lumenfold finished it");

    RunMachine notSaved = machine({1, 0, 60});
    notSaved.consoleLine(setupLine, 0);
    notSaved.windowsFound(1);
    notSaved.next(0);
    notSaved.consoleLine(frameEnd, 1);
    notSaved.next(1);
    notSaved.consoleLine("Results have not been saved: the results file could not be created at: /ro/r.txt", 1);
    notSaved.consoleLine(prompt, 1);
    notSaved.next(1);
    notSaved.exited(exitStatus(0), false);
    EXPECT_EQ(notSaved.verdict(), "triangles could not create its results file at /ro/r.txt");
}

}  // namespace
