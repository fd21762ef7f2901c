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

bool runWithInput(const std::vector<std::string>& argv, const std::string& input, std::string& error) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("cannot create a pipe: ") + strerror(errno);
        return false;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        error = std::string("cannot fork: ") + strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        dup2(fds[0], 0);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 1);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[0]);
    // SIGPIPE is ignored by the caller, so a tool that quits early gives EPIPE here.
    size_t written = 0;
    while (written < input.size()) {
        ssize_t n = write(fds[1], input.data() + written, input.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += size_t(n);
    }
    close(fds[1]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    error = argv[0] + (WIFEXITED(status) && WEXITSTATUS(status) == 127 ? std::string(" is not installed or not on PATH")
                                                                       : std::string(" failed"));
    return false;
}

namespace {

void closeFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

[[noreturn]] void execInChild(const std::string& binary, const std::string& directory, pid_t parent, int in[2],
                              int out[2], int err[2], int report[2]) {
    // The program would go on running with R pressed if lumenfold died.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    setpgid(0, 0);
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1], report[0]}) close(fd);
    int code = 0;
    if (chdir(directory.c_str()) != 0) {
        code = errno;
    } else {
        execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        code = errno;
    }
    ssize_t ignored = write(report[1], &code, sizeof code);
    (void)ignored;
    _exit(127);
}

}  // namespace

bool spawnWithPipes(const std::string& binary, const std::string& directory, ChildProcess& child,
                    std::string& error) {
    int in[2], out[2], err[2], report[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 ||
        pipe2(report, O_CLOEXEC) != 0) {
        error = std::string("cannot create pipes: ") + strerror(errno);
        return false;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        error = std::string("cannot fork: ") + strerror(errno);
        for (int* pair : {in, out, err, report}) close(pair[0]), close(pair[1]);
        return false;
    }
    if (pid == 0) execInChild(binary, directory, parent, in, out, err, report);
    for (int fd : {in[0], out[1], err[1], report[1]}) close(fd);
    // Exec errors come back through the close-on-exec pipe; success closes it empty.
    int code = 0;
    ssize_t got;
    do got = read(report[0], &code, sizeof code);
    while (got < 0 && errno == EINTR);
    close(report[0]);
    child = ChildProcess{pid, in[1], out[0], err[0]};
    if (got == sizeof code) {
        error = "cannot start " + binary + " in " + directory + ": " + strerror(code);
        int status = 0;
        waitpid(pid, &status, 0);
        closePipes(child);
        child.pid = -1;
        return false;
    }
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
