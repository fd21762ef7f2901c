// The processes lumenfold starts: one way to start them, one clock, one way
// to stop them.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Seconds on the monotonic clock; every deadline in lumenfold uses it.
double monotonicSeconds();

// SIGTERM, then SIGKILL once graceSeconds have passed; reaps the process and
// gives its wait status.
void stopProcess(pid_t pid, int& status, double graceSeconds);

// "exited with status 3", "was killed by signal 9 (Killed)", from a waitpid status.
std::string describeWaitStatus(int status);

// Reads from fd until end of file or the deadline; false on timeout.
bool readAll(int fd, std::string& out, double timeoutSeconds);

// Where one of the child's standard streams goes.
enum class Stream { inherit, discard, pipe };

// What to start and how. Either argv (argv[0] is looked up on PATH unless it
// holds a '/') or, for work that must not touch lumenfold's own state, code
// run in a forked copy whose return value is its exit status.
struct ChildSpec {
    std::vector<std::string> argv;
    std::function<int()> code;
    std::string directory;        // empty: lumenfold's own
    Stream input = Stream::inherit, output = Stream::inherit, errors = Stream::inherit;
    // A process group of its own, so that a Ctrl-C at the terminal is
    // lumenfold's to handle; and a child that dies with lumenfold.
    bool detached = false;
    std::vector<int> passFds;     // descriptors the child keeps (close-on-exec lifted)
    // Changes to lumenfold's own environment for the child: a value sets the
    // variable, nothing unsets it.
    std::map<std::string, std::optional<std::string>> environment;
};

// A started child; the pipes asked for are open, the rest are -1.
struct ChildProcess {
    pid_t pid = -1;
    int input = -1;
    int output = -1;
    int errors = -1;
};

// Starts the child. On failure, error says why, exec and directory errors
// included, and missing is set when the program is not there at all.
bool startChild(const ChildSpec& spec, ChildProcess& child, std::string& error, bool* missing = nullptr);
void closePipes(ChildProcess& child);

// Runs a helper tool with the text on its standard input (and its output
// discarded unless showOutput); false, with the reason, unless it exits 0.
struct ToolRun {
    bool ok = false;
    bool missing = false;    // not installed or not on PATH
    std::string error;
};
ToolRun runWithInput(const std::vector<std::string>& argv, const std::string& input, bool showOutput = false);

// A benchmark program on pipes, detached, in the directory, with the
// variables given set in its environment; output and errors never block.
bool spawnWithPipes(const std::string& binary, const std::string& directory, ChildProcess& child,
                    std::string& error, const std::map<std::string, std::string>& environment = {});

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
