// The course of one `lumenfold run` with no process, X server or file in
// sight: console lines and the time go in, the next thing to do and the
// verdict come out. The driver in program_run.cpp does the rest.
#pragma once

#include <string>

#include "run/console_watch.h"

struct RunLimits {
    int frames = 0;            // stop once this many frames are reported; 0: by time
    double seconds = 0;        // or once this long has passed since R
    double hangTimeout = 600;  // seconds without a new console line that count as a hang
};

// What the driver does next.
enum class RunStep {
    wait,          // read the pipes again
    findWindow,    // look for the program's new window and report with windowsFound()
    pressR,        // the window is known: start the run
    pressPAndEsc,  // enough frames or time: pause, then end
    answerPrompt,  // "Press Enter to Exit." has come: answer it and close the input
    stop,          // something went wrong: stop the program and report with exited()
};

class RunMachine {
public:
    // The title and display only make the messages precise.
    RunMachine(Program program, RunLimits limits, std::string title, std::string display, double now);

    void consoleLine(const std::string& line, double now);
    void errorLine(const std::string& line);
    // How many windows with the program's title appeared since it started.
    void windowsFound(size_t freshWindows);
    // A step the driver could not carry out, in words.
    void stepFailed(const std::string& why);
    void interrupted(const std::string& signalName);
    void exited(int waitStatus, bool stoppedByUs);

    RunStep next(double now);

    bool hasExited() const { return exited_; }
    bool windowKnown() const { return windowKnown_; }
    // Seconds since R was pressed; negative before.
    double runningFor(double now) const { return phase_ == Phase::starting ? -1 : now - runStart_; }
    const ConsoleWatch& watch() const { return watch_; }
    // "exited with status 0", or that it has not ended.
    std::string exitDescription() const;
    // Empty when the run went as planned. Complete once the program has exited.
    std::string verdict() const;

private:
    enum class Phase { starting, running, finishing, exiting };

    void failWith(const std::string& why);
    std::string hangMessage() const;

    ConsoleWatch watch_;
    RunLimits limits_;
    std::string title_;
    std::string display_;
    Phase phase_ = Phase::starting;
    bool windowKnown_ = false;
    bool endedFromWindow_ = false;
    bool exited_ = false;
    bool stoppedByUs_ = false;
    bool stopAsked_ = false;
    int waitStatus_ = 0;
    double lastLineTime_;
    double runStart_ = 0;
    std::string failure_;
};
