#include "run/run_machine.h"

#include <cstdio>
#include <sys/wait.h>
#include <utility>

#include "common/process.h"

RunMachine::RunMachine(Program program, RunLimits limits, std::string title, std::string display, double now)
    : limits_(limits), title_(std::move(title)), display_(std::move(display)), lastLineTime_(now) {
    watch_.program = program;
}

void RunMachine::consoleLine(const std::string& line, double now) {
    watchConsoleLine(watch_, line);
    lastLineTime_ = now;
}

void RunMachine::errorLine(const std::string& line) { watchErrorLine(watch_, line); }

void RunMachine::failWith(const std::string& why) {
    if (failure_.empty()) failure_ = why;
}

void RunMachine::windowsFound(size_t freshWindows) {
    if (freshWindows > 1)
        failWith("more than one new window is titled \"" + title_ + "\" on " + display_ + "; close the other " +
                 programName(watch_.program) + " first");
    else if (freshWindows == 1)
        windowKnown_ = true;
}

void RunMachine::stepFailed(const std::string& why) { failWith(why); }

void RunMachine::interrupted(const std::string& signalName) {
    failWith("interrupted by " + signalName + "; stopped " + programName(watch_.program));
}

void RunMachine::exited(int waitStatus, bool stoppedByUs) {
    exited_ = true;
    waitStatus_ = waitStatus;
    stoppedByUs_ = stoppedByUs;
}

std::string RunMachine::hangMessage() const {
    char seconds[32];
    snprintf(seconds, sizeof seconds, "%g", limits_.hangTimeout);
    const std::string program = programName(watch_.program);
    if (phase_ == Phase::exiting)
        return program + " did not exit within " + seconds + " s of the answer to \"Press Enter to Exit.\"";
    if (phase_ == Phase::starting && watch_.setupDone)
        return "no window titled \"" + title_ + "\" appeared on " + display_ + " within " + seconds + " s";
    return program + " wrote no new report line for " + seconds + " s (hang timeout): it seems hung";
}

RunStep RunMachine::next(double now) {
    if (exited_) return RunStep::wait;
    if (failure_.empty() && now - lastLineTime_ > limits_.hangTimeout) failWith(hangMessage());
    if (!failure_.empty()) {
        if (stopAsked_) return RunStep::wait;
        stopAsked_ = true;
        return RunStep::stop;
    }
    // Esc pressed in the window by someone else: the program still gets its
    // answer, so it ends cleanly with its file closed.
    if (watch_.promptSeen && (phase_ == Phase::starting || phase_ == Phase::running)) {
        endedFromWindow_ = true;
        phase_ = Phase::finishing;
    }
    switch (phase_) {
        case Phase::starting:
            if (!watch_.setupDone) return RunStep::wait;
            if (!windowKnown_) return RunStep::findWindow;
            phase_ = Phase::running;
            runStart_ = lastLineTime_ = now;
            return RunStep::pressR;
        case Phase::running: {
            const bool enough =
                limits_.frames > 0 ? watch_.frames >= limits_.frames : now - runStart_ >= limits_.seconds;
            if (!enough) return RunStep::wait;
            // P first, so no new frame starts while Esc waits its turn.
            phase_ = Phase::finishing;
            return RunStep::pressPAndEsc;
        }
        case Phase::finishing:
            if (!watch_.promptSeen) return RunStep::wait;
            phase_ = Phase::exiting;
            lastLineTime_ = now;
            return RunStep::answerPrompt;
        case Phase::exiting:
            return RunStep::wait;
    }
    return RunStep::wait;
}

std::string RunMachine::verdict() const {
    const std::string program = programName(watch_.program);
    if (!failure_.empty())
        return stoppedByUs_ ? failure_ + " (it " + describeWaitStatus(waitStatus_) + " when stopped)" : failure_;
    if (!exited_) return program + " has not ended";
    if (!WIFEXITED(waitStatus_) || WEXITSTATUS(waitStatus_) != 0) return program + " " + describeWaitStatus(waitStatus_);
    if (phase_ != Phase::exiting)
        return program + " ended by itself before the run was finished (was its window closed?)";
    if (endedFromWindow_)
        return "the run was ended from the window of " + program + " (Esc) after " + std::to_string(watch_.frames) +
               " frame(s), before lumenfold finished it";
    if (watch_.resultsNotSaved) return program + " could not create its results file at " + watch_.resultsPath;
    return "";
}

std::string RunMachine::exitDescription() const {
    return exited_ ? describeWaitStatus(waitStatus_) : "has not ended";
}
