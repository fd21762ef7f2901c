// A program's console, kept in a file beside its results file instead of
// scrolling past: "<results file>.log" with .log in place of .txt.
#pragma once

#include <cstdio>
#include <string>

class ConsoleLog {
public:
    ConsoleLog() = default;
    ConsoleLog(const ConsoleLog&) = delete;
    ConsoleLog& operator=(const ConsoleLog&) = delete;
    ~ConsoleLog();

    // The results file's name is not known until the program has made it, so
    // the log starts under a name of its own in the directory.
    bool open(const std::string& directory, const std::string& program, std::string& error);
    // False once a write has failed: that line and the rest are the caller's to show.
    bool line(const std::string& text);
    bool failed() const { return writeError_ != 0; }
    // Closes the log and moves it beside the results file (when there is
    // one). Gives where it is; error says what went wrong, if anything, and
    // the log then stays where it is, so nothing is lost.
    std::string finish(const std::string& resultsPath, std::string& error);
    // For a program that never started: the empty log goes.
    void discard();

private:
    FILE* file_ = nullptr;
    std::string path_;
    int writeError_ = 0;
};

// Where a results file's console log goes.
std::string logPathFor(const std::string& resultsPath);
