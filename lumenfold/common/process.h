// The processes lumenfold starts: one clock, one way to stop them, one way
// to hand a helper tool its input.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Seconds on the monotonic clock; every deadline in lumenfold uses it.
double monotonicSeconds();

// SIGTERM, then SIGKILL once graceSeconds have passed; reaps the process and
// gives its wait status.
void stopProcess(pid_t pid, int& status, double graceSeconds);

// Reads from fd until end of file or the deadline; false on timeout.
bool readAll(int fd, std::string& out, double timeoutSeconds);

// Runs argv[0] from PATH with the text on its standard input and its output
// discarded; false, with the reason, unless it exits 0.
bool runWithInput(const std::vector<std::string>& argv, const std::string& input, std::string& error);

// A child with its standard streams on pipes; output and errors never block.
struct ChildProcess {
    pid_t pid = -1;
    int input = -1;
    int output = -1;
    int errors = -1;
};

// Starts the program in the directory. The child dies with lumenfold and has
// a process group of its own, so a Ctrl-C at the terminal is lumenfold's to
// handle. On failure, error says why (exec errors included).
bool spawnWithPipes(const std::string& binary, const std::string& directory, ChildProcess& child,
                    std::string& error);
void closePipes(ChildProcess& child);

// Splits what arrives on a pipe into whole lines; a last line without its
// newline is given once the pipe closes.
class LineReader {
public:
    // Reads what is there without waiting and appends the whole lines; false
    // once the pipe is closed and everything has been given.
    bool read(int fd, std::vector<std::string>& lines);
    // Splitting alone, for text from anywhere.
    void take(const std::string& text, bool closed, std::vector<std::string>& lines);

private:
    std::string pending_;
};
