#include "run_command.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <set>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "report_format.h"
#include "run_support.h"
#include "x_session.h"

#ifndef LUMENFOLD_VERSION
#define LUMENFOLD_VERSION "unknown"
#endif

using nlohmann::json;

namespace {

volatile sig_atomic_t interruptSignal = 0;
pid_t programPid = -1;
pid_t xvfbPid = -1;

void onInterrupt(int signal) { interruptSignal = signal; }

double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void fail(const std::string& message) { fprintf(stderr, "lumenfold: %s\n", message.c_str()); }

bool isExecutableFile(const std::string& path) {
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Beside lumenfold in the build tree first, so a build runs its own programs;
// then PATH, for an installed suite.
std::string findProgram(const std::string& name, std::string& looked) {
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        self[length] = '\0';
        const std::string sibling = directoryOf(self) + "/../" + name + "/" + name;
        looked = sibling;
        if (isExecutableFile(sibling)) {
            char resolved[PATH_MAX];
            return realpath(sibling.c_str(), resolved) != nullptr ? resolved : sibling;
        }
    }
    const char* path = getenv("PATH");
    looked += (looked.empty() ? "" : ", ") + std::string("PATH");
    std::string dirs = path != nullptr ? path : "";
    size_t begin = 0;
    while (begin <= dirs.size()) {
        size_t end = dirs.find(':', begin);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(begin, end - begin);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + name;
        if (isExecutableFile(candidate)) return candidate;
        begin = end + 1;
    }
    return "";
}

bool makeDirectories(const std::string& path, std::string& error) {
    std::string partial;
    size_t begin = 0;
    while (begin <= path.size()) {
        size_t end = path.find('/', begin);
        if (end == std::string::npos) end = path.size();
        partial = path.substr(0, end);
        if (!partial.empty() && mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) {
            error = "cannot create the directory " + partial + ": " + strerror(errno);
            return false;
        }
        begin = end + 1;
    }
    struct stat info{};
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = path + " is not a directory";
        return false;
    }
    return true;
}

std::set<std::string> resultsFilesIn(const std::string& directory, const std::string& program) {
    std::set<std::string> names;
    const std::string prefix = "results_" + program + "_lite_windows @ ";
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) == 0 && name.size() > 4 &&
            name.compare(name.size() - 4, 4, ".txt") == 0)
            names.insert(name);
    }
    closedir(dir);
    return names;
}

// Splits what arrived on a pipe into whole lines; the rest waits for more.
void takeLines(std::string& pending, std::vector<std::string>& lines) {
    size_t begin = 0;
    for (size_t end; (end = pending.find('\n', begin)) != std::string::npos; begin = end + 1)
        lines.push_back(pending.substr(begin, end - begin));
    pending.erase(0, begin);
}

// Reads what is there without waiting; false once the pipe is closed.
bool drain(int fd, std::string& pending) {
    char buffer[8192];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            pending.append(buffer, size_t(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        return false;
    }
}

void stopProgram(pid_t pid, int& status) {
    kill(pid, SIGTERM);
    const double deadline = now() + 5;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return;
        }
        usleep(20000);
    }
}

enum class Phase { starting, running, finishing, exiting };

struct ChildPipes {
    int input = -1;
    int output = -1;
    int errors = -1;
};

// Starts the program in its directory with piped standard streams; on
// failure error says why (exec errors come back through a close-on-exec pipe).
pid_t spawnProgram(const std::string& binary, const std::string& directory, const std::string& display,
                   ChildPipes& pipes, std::string& error) {
    int in[2], out[2], err[2], report[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0 || pipe2(report, O_CLOEXEC) != 0) {
        error = std::string("cannot create pipes: ") + strerror(errno);
        return -1;
    }
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        error = std::string("cannot fork: ") + strerror(errno);
        return -1;
    }
    if (pid == 0) {
        // The program would go on running with R pressed if lumenfold died.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        setpgid(0, 0);
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1], report[0]}) close(fd);
        int code = 0;
        if (chdir(directory.c_str()) != 0 || setenv("DISPLAY", display.c_str(), 1) != 0) {
            code = errno;
        } else {
            execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
            code = errno;
        }
        ssize_t ignored = write(report[1], &code, sizeof code);
        (void)ignored;
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    close(report[1]);
    int code = 0;
    ssize_t got;
    do got = read(report[0], &code, sizeof code);
    while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got == sizeof code) {
        error = "cannot start " + binary + " in " + directory + ": " + strerror(code);
        int status;
        waitpid(pid, &status, 0);
        for (int fd : {in[1], out[0], err[0]}) close(fd);
        return -1;
    }
    pipes.input = in[1];
    pipes.output = out[0];
    pipes.errors = err[0];
    fcntl(pipes.output, F_SETFL, O_NONBLOCK);
    fcntl(pipes.errors, F_SETFL, O_NONBLOCK);
    fcntl(pipes.input, F_SETFD, FD_CLOEXEC);
    fcntl(pipes.output, F_SETFD, FD_CLOEXEC);
    fcntl(pipes.errors, F_SETFD, FD_CLOEXEC);
    return pid;
}

void writeContext(const std::string& path, const json& context) {
    std::ofstream out(path);
    out << context.dump(2) << "\n";
    out.close();
    if (!out) fail("cannot write the context file " + path + ": " + strerror(errno));
}

void cleanUp(ChildPipes& pipes) {
    for (int* fd : {&pipes.input, &pipes.output, &pipes.errors}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
    closeInput();
    stopXvfb(xvfbPid);
    xvfbPid = -1;
}

}  // namespace

int runCommand(const RunOptions& options) {
    Program program;
    if (!programFromName(options.program, program)) {
        fail("unknown program \"" + options.program + "\": expected triangles, cube or streaming");
        return 2;
    }
    const time_t startTime = time(nullptr);

    std::string looked;
    const std::string binary = findProgram(options.program, looked);
    if (binary.empty()) {
        fail("cannot find the " + options.program + " program (looked at " + looked + "); build it first");
        return 1;
    }

    std::string error;
    std::string directory = options.directory;
    if (directory.empty()) {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd) == nullptr) {
            fail(std::string("cannot read the current directory: ") + strerror(errno));
            return 1;
        }
        directory = cwd;
    } else if (!makeDirectories(directory, error)) {
        fail(error);
        return 1;
    } else {
        char resolved[PATH_MAX];
        if (realpath(directory.c_str(), resolved) != nullptr) directory = resolved;
    }

    signal(SIGPIPE, SIG_IGN);
    struct sigaction onSignal{};
    onSignal.sa_handler = onInterrupt;
    sigemptyset(&onSignal.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &onSignal, nullptr);

    std::string display;
    const char* given = getenv("DISPLAY");
    const bool ownDisplay = given == nullptr || *given == '\0';
    if (ownDisplay) {
        if (!startXvfb(display, xvfbPid, error)) {
            fail("no DISPLAY is set and " + error);
            return 1;
        }
        fprintf(stderr, "lumenfold: no DISPLAY set; running %s on a private virtual X server (%s)\n",
                options.program.c_str(), display.c_str());
    } else {
        display = given;
    }

    ChildPipes pipes;
    if (!openInput(display, error)) {
        fail(error + (ownDisplay ? "" : " (from DISPLAY; unset DISPLAY to run on a private virtual X server)"));
        cleanUp(pipes);
        return 1;
    }
    const json gl = probeGl(display);

    const std::string title = windowTitle(program);
    const std::vector<unsigned long> earlierWindows = windowsTitled(title);
    const std::set<std::string> earlierFiles = resultsFilesIn(directory, options.program);

    programPid = spawnProgram(binary, directory, display, pipes, error);
    if (programPid < 0) {
        fail(error);
        cleanUp(pipes);
        return 1;
    }

    ConsoleWatch watch;
    watch.program = program;
    Phase phase = Phase::starting;
    std::string pendingOut, pendingErr;
    std::vector<std::string> programErrors;
    bool outOpen = true, errOpen = true, exited = false;
    int status = 0;
    unsigned long window = 0;
    unsigned windowWidth = 0, windowHeight = 0;
    bool windowKnown = false;
    double lastLineTime = now();
    double runStart = 0;
    std::string failure;       // empty while all is well
    bool stoppedByUs = false;
    bool endedFromWindow = false;
    double exitTime = 0;

    while (!exited || outOpen || errOpen) {
        if (interruptSignal != 0 && failure.empty()) {
            failure = std::string("interrupted by ") + strsignal(interruptSignal) + "; stopped " + options.program;
            stopProgram(programPid, status);
            exited = stoppedByUs = true;
        }
        pollfd fds[2] = {{outOpen ? pipes.output : -1, POLLIN, 0}, {errOpen ? pipes.errors : -1, POLLIN, 0}};
        poll(fds, 2, 100);

        std::vector<std::string> lines;
        if (outOpen) {
            outOpen = drain(pipes.output, pendingOut);
            if (!outOpen && !pendingOut.empty()) pendingOut += '\n';
            takeLines(pendingOut, lines);
        }
        for (const std::string& line : lines) {
            fputs(line.c_str(), stdout);
            fputc('\n', stdout);
            watchConsoleLine(watch, line);
            lastLineTime = now();
        }
        if (!lines.empty()) fflush(stdout);
        if (errOpen) {
            std::vector<std::string> errLines;
            errOpen = drain(pipes.errors, pendingErr);
            if (!errOpen && !pendingErr.empty()) pendingErr += '\n';
            takeLines(pendingErr, errLines);
            for (const std::string& line : errLines) {
                fprintf(stderr, "%s\n", line.c_str());
                // Enough to see what went wrong; a runaway program cannot fill memory.
                if (programErrors.size() < 200) programErrors.push_back(line);
            }
        }

        if (!exited) {
            pid_t done = waitpid(programPid, &status, WNOHANG);
            if (done == programPid) exited = true;
        }
        if (exited) {
            // Whatever is still in the pipes is read before the loop ends,
            // unless something the program started holds them open.
            if (exitTime == 0) exitTime = now();
            if (now() - exitTime > 5) break;
            continue;
        }

        const double t = now();
        if (phase == Phase::starting && watch.setupDone) {
            if (!windowKnown) {
                std::vector<unsigned long> fresh;
                for (unsigned long w : windowsTitled(title))
                    if (std::find(earlierWindows.begin(), earlierWindows.end(), w) == earlierWindows.end())
                        fresh.push_back(w);
                if (fresh.size() > 1) {
                    failure = "more than one new window is titled \"" + title +
                              "\" on " + display + "; close the other " + options.program + " first";
                } else if (fresh.size() == 1) {
                    window = fresh.front();
                    windowKnown = true;
                    windowSize(window, windowWidth, windowHeight);
                }
            }
            if (windowKnown && failure.empty()) {
                if (!sendKey(window, "r")) failure = "cannot send key R to the window of " + options.program;
                phase = Phase::running;
                runStart = t;
                lastLineTime = t;
            }
        }
        if (phase == Phase::running && failure.empty()) {
            const bool enough = options.frames > 0 ? watch.frames >= options.frames
                                                   : t - runStart >= options.seconds;
            if (enough) {
                // P first, so no new frame starts while Esc waits its turn.
                if (!sendKey(window, "p") || !sendKey(window, "Escape"))
                    failure = "cannot send keys P and Esc to the window of " + options.program;
                phase = Phase::finishing;
            }
        }
        // Esc pressed in the window by someone else: the program still gets
        // its answer, so it ends cleanly with its file closed.
        if (watch.promptSeen && (phase == Phase::starting || phase == Phase::running) && failure.empty()) {
            endedFromWindow = true;
            phase = Phase::finishing;
        }
        if (phase == Phase::finishing && watch.promptSeen && failure.empty()) {
            ssize_t written = write(pipes.input, "\n", 1);
            (void)written;
            close(pipes.input);
            pipes.input = -1;
            phase = Phase::exiting;
            lastLineTime = t;
        }
        if (failure.empty() && t - lastLineTime > options.hangTimeout) {
            char seconds[32];
            snprintf(seconds, sizeof seconds, "%g", options.hangTimeout);
            if (phase == Phase::exiting)
                failure = options.program + " did not exit within " + seconds + " s of the answer to \"Press Enter to Exit.\"";
            else if (phase == Phase::starting && watch.setupDone)
                failure = "no window titled \"" + title + "\" appeared on " + display + " within " + seconds + " s";
            else
                failure = options.program + " wrote no new report line for " + seconds + " s (hang timeout): it seems hung";
        }
        if (!failure.empty()) {
            stopProgram(programPid, status);
            exited = stoppedByUs = true;
        }
    }
    for (int* fd : {&pipes.output, &pipes.errors}) {
        close(*fd);
        *fd = -1;
    }
    const int framesSeen = watch.frames;

    if (failure.empty()) {
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            failure = options.program + " " + describeWaitStatus(status);
        else if (phase != Phase::exiting)
            failure = options.program + " ended by itself before the run was finished (was its window closed?)";
        else if (endedFromWindow)
            failure = "the run was ended from the window of " + options.program + " (Esc) after " +
                      std::to_string(watch.frames) + " frame(s), before lumenfold finished it";
        else if (watch.resultsNotSaved)
            failure = options.program + " could not create its results file at " + watch.resultsPath;
    } else if (stoppedByUs) {
        failure += " (it " + describeWaitStatus(status) + " when stopped)";
    }

    // The results file: the one the program named, or else the one new file
    // of its kind in the directory (a crash leaves no closing line).
    std::string resultsPath;
    if (watch.resultsSaved && access(watch.resultsPath.c_str(), F_OK) == 0) resultsPath = watch.resultsPath;
    std::string resultsNote;
    if (resultsPath.empty()) {
        std::vector<std::string> fresh;
        for (const std::string& name : resultsFilesIn(directory, options.program))
            if (earlierFiles.count(name) == 0) fresh.push_back(name);
        if (fresh.size() == 1)
            resultsPath = directory + "/" + fresh.front();
        else if (fresh.size() > 1)
            resultsNote = std::to_string(fresh.size()) + " new results files of " + options.program + " in " +
                          directory + "; cannot tell which one is this run's";
        else
            resultsNote = "no results file of this run was found in " + directory;
    }

    json context;
    context["program"] = options.program;
    context["programPath"] = binary;
    context["date"] = isoLocalTime(startTime);
    context["command"] = options.command;
    context["directory"] = directory;
    context["resultsFile"] = resultsPath.empty() ? json(nullptr) : json(resultsPath);
    context["display"] = {{"name", display}, {"privateXvfb", ownDisplay}};
    context["gl"] = gl.contains("gl") ? gl["gl"] : json({{"vendor", "unknown"}, {"renderer", "unknown"}, {"version", "unknown"}});
    if (gl.contains("error")) context["glProbeError"] = gl["error"];
    json swap = gl.contains("swapInterval") ? gl["swapInterval"]
                                            : json({{"inForce", nullptr}, {"default", nullptr}, {"extension", "unknown"}});
    swap["measuredOn"] = "a small GLX window of lumenfold's on the same display, after asking for interval 0 "
                         "as the programs do";
    context["swapInterval"] = swap;
    context["window"] = windowKnown ? json({{"width", windowWidth}, {"height", windowHeight}}) : json(nullptr);
    const json machine = machineContext();
    context["cpu"] = machine["cpu"];
    context["kernel"] = machine["kernel"];
    context["version"] = LUMENFOLD_VERSION;
    json environment = json::object();
    for (const char* name : {"vblank_mode", "__GL_SYNC_TO_VBLANK", "LIBGL_ALWAYS_SOFTWARE", "GALLIUM_DRIVER"})
        if (const char* value = getenv(name)) environment[name] = value;
    context["environment"] = environment;
    json request = json::object();
    request["frames"] = options.frames > 0 ? json(options.frames) : json(nullptr);
    request["seconds"] = options.frames > 0 ? json(nullptr) : json(options.seconds);
    request["hangTimeoutSeconds"] = options.hangTimeout;
    context["request"] = request;
    context["outcome"] = {{"ok", failure.empty()},
                          {"message", failure.empty() ? json(nullptr) : json(failure)},
                          {"framesReported", framesSeen},
                          {"exit", describeWaitStatus(status)},
                          {"programStderr", programErrors}};

    if (!resultsPath.empty()) writeContext(contextPathFor(resultsPath), context);
    cleanUp(pipes);

    if (!failure.empty()) {
        fail("run failed: " + failure);
        if (!resultsPath.empty())
            fail("the results file is kept: " + resultsPath + " (context: " + contextPathFor(resultsPath) + ")");
        else
            fail(resultsNote);
        return 1;
    }
    if (resultsPath.empty()) {
        fail("run failed: " + resultsNote);
        return 1;
    }

    const ResultsRun run = readResultsFile(resultsPath);
    printf("\n%s", textReport({run}).c_str());
    fflush(stdout);
    for (const Problem& problem : run.problems) fail(problemText(run, problem));
    return run.problems.empty() ? 0 : 1;
}
