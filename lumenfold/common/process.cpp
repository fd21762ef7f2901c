#include "common/process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

double monotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void stopProcess(pid_t pid, int& status, double graceSeconds) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    const double deadline = monotonicSeconds() + graceSeconds;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (monotonicSeconds() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return;
        }
        usleep(20000);
    }
}

std::string describeWaitStatus(int status) {
    if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        std::string text = "was killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
        if (WCOREDUMP(status)) text += ", core dumped";
        return text;
    }
    return "ended with wait status " + std::to_string(status);
}

bool readAll(int fd, std::string& out, double timeoutSeconds) {
    const double deadline = monotonicSeconds() + timeoutSeconds;
    char buffer[4096];
    for (;;) {
        const double left = deadline - monotonicSeconds();
        if (left <= 0) return false;
        pollfd entry{fd, POLLIN, 0};
        int ready = poll(&entry, 1, int(left * 1000) + 1);
        if (ready <= 0) continue;
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        out.append(buffer, size_t(got));
    }
}

namespace {

void closeFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// Every pipe a start may need; -1 where a stream needs none.
struct StartPipes {
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    int report[2] = {-1, -1};  // the child's start-up error, if it has one

    bool open(const ChildSpec& spec) {
        return (spec.input != Stream::pipe || pipe2(in, O_CLOEXEC) == 0) &&
               (spec.output != Stream::pipe || pipe2(out, O_CLOEXEC) == 0) &&
               (spec.errors != Stream::pipe || pipe2(err, O_CLOEXEC) == 0) && pipe2(report, O_CLOEXEC) == 0;
    }
    void closeAll() {
        for (int* pair : {in, out, err, report}) closeFd(pair[0]), closeFd(pair[1]);
    }
};

// What went wrong in the child before its program ran.
struct StartFailure {
    int code = 0;
    bool inDirectory = false;
};

void connect(int target, Stream how, int pipeEnd, int null) {
    if (how == Stream::pipe) dup2(pipeEnd, target);
    if (how == Stream::discard && null >= 0) dup2(null, target);
}

// The child's whole environment, made before the fork: the child only
// points environ at it, which allocates nothing.
struct ChildEnvironment {
    std::vector<std::string> entries;
    std::vector<char*> pointers;

    explicit ChildEnvironment(const ChildSpec& spec) {
        if (spec.environment.empty()) return;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            if (spec.environment.count(text.substr(0, text.find('='))) == 0) entries.push_back(text);
        }
        for (const auto& [name, value] : spec.environment)
            if (value) entries.push_back(name + "=" + *value);
        for (std::string& entry : entries) pointers.push_back(entry.data());
        pointers.push_back(nullptr);
    }
    char** get() { return pointers.empty() ? nullptr : pointers.data(); }
};

[[noreturn]] void startInChild(const ChildSpec& spec, pid_t parent, StartPipes& pipes, char** environment) {
    if (spec.detached) {
        // A program would go on running with R pressed if lumenfold died.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        setpgid(0, 0);
    }
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    connect(0, spec.input, pipes.in[0], null);
    connect(1, spec.output, pipes.out[1], null);
    connect(2, spec.errors, pipes.err[1], null);
    for (int* pair : {pipes.in, pipes.out, pipes.err}) closeFd(pair[0]), closeFd(pair[1]);
    closeFd(pipes.report[0]);
    for (int fd : spec.passFds) fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) & ~FD_CLOEXEC);
    if (environment != nullptr) environ = environment;
    StartFailure failure;
    if (!spec.directory.empty() && chdir(spec.directory.c_str()) != 0) {
        failure = {errno, true};
    } else if (spec.code) {
        closeFd(pipes.report[1]);
        _exit(spec.code());
    } else {
        std::vector<char*> args;
        for (const std::string& arg : spec.argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        // A path is run as it is, never handed to a shell; a bare name is looked up on PATH.
        if (spec.argv[0].find('/') != std::string::npos)
            execv(args[0], args.data());
        else
            execvp(args[0], args.data());
        failure = {errno, false};
    }
    ssize_t ignored = write(pipes.report[1], &failure, sizeof failure);
    (void)ignored;
    _exit(127);
}

std::string childName(const ChildSpec& spec) {
    const std::string name = spec.argv.empty() ? "a child process" : spec.argv[0];
    return spec.directory.empty() ? name : name + " in " + spec.directory;
}

}  // namespace

bool startChild(const ChildSpec& spec, ChildProcess& child, std::string& error, bool* missing) {
    if (missing != nullptr) *missing = false;
    if (spec.argv.empty() && !spec.code) {
        error = "nothing to start";
        return false;
    }
    StartPipes pipes;
    if (!pipes.open(spec)) {
        error = std::string("cannot create pipes: ") + strerror(errno);
        pipes.closeAll();
        return false;
    }
    ChildEnvironment environment(spec);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        error = std::string("cannot fork: ") + strerror(errno);
        pipes.closeAll();
        return false;
    }
    if (pid == 0) startInChild(spec, parent, pipes, environment.get());
    child = ChildProcess{pid, pipes.in[1], pipes.out[0], pipes.err[0]};
    pipes.in[1] = pipes.out[0] = pipes.err[0] = -1;
    closeFd(pipes.report[1]);
    // Start-up errors come back through the close-on-exec pipe; success closes it empty.
    StartFailure failure;
    ssize_t got;
    do got = read(pipes.report[0], &failure, sizeof failure);
    while (got < 0 && errno == EINTR);
    pipes.closeAll();
    if (got != sizeof failure) return true;
    error = "cannot start " + childName(spec) + ": " + strerror(failure.code);
    if (missing != nullptr) *missing = failure.code == ENOENT && !failure.inDirectory;
    int status = 0;
    waitpid(pid, &status, 0);
    closePipes(child);
    child.pid = -1;
    return false;
}

ToolRun runWithInput(const std::vector<std::string>& argv, const std::string& input, bool showOutput) {
    ToolRun run;
    ChildSpec spec;
    spec.argv = argv;
    spec.input = Stream::pipe;
    spec.output = showOutput ? Stream::inherit : Stream::discard;
    ChildProcess child;
    if (!startChild(spec, child, run.error, &run.missing)) {
        if (run.missing) run.error = argv[0] + " is not installed or not on PATH";
        return run;
    }
    // A tool that quits early gives EPIPE here rather than ending lumenfold.
    struct sigaction ignore{}, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    size_t written = 0;
    while (written < input.size()) {
        ssize_t n = write(child.input, input.data() + written, input.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += size_t(n);
    }
    closePipes(child);
    sigaction(SIGPIPE, &previous, nullptr);
    int status = 0;
    while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!run.ok) run.error = argv[0] + " " + describeWaitStatus(status);
    return run;
}

bool spawnWithPipes(const std::string& binary, const std::string& directory, ChildProcess& child,
                    std::string& error, const std::map<std::string, std::string>& environment) {
    ChildSpec spec;
    for (const auto& [name, value] : environment) spec.environment[name] = value;
    spec.argv = {binary};
    spec.directory = directory;
    spec.input = spec.output = spec.errors = Stream::pipe;
    spec.detached = true;
    if (!startChild(spec, child, error)) return false;
    fcntl(child.output, F_SETFL, O_NONBLOCK);
    fcntl(child.errors, F_SETFL, O_NONBLOCK);
    return true;
}

void closePipes(ChildProcess& child) {
    closeFd(child.input);
    closeFd(child.output);
    closeFd(child.errors);
}

bool LineReader::read(int fd, std::vector<std::string>& lines) {
    char buffer[8192];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            take(std::string(buffer, size_t(got)), false, lines);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        take("", true, lines);
        return false;
    }
}

void LineReader::take(const std::string& text, bool closed, std::vector<std::string>& lines) {
    pending_ += text;
    size_t begin = 0;
    for (size_t end; (end = pending_.find('\n', begin)) != std::string::npos; begin = end + 1)
        lines.push_back(pending_.substr(begin, end - begin));
    pending_.erase(0, begin);
    if (closed && !pending_.empty()) {
        lines.push_back(pending_);
        pending_.clear();
    }
}
