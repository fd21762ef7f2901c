#include "run/machine_lock.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/display_text.h"
#include "common/messages.h"
#include "run/run_support.h"

namespace {

// The lock's descriptors in this process. A child forked to run code of
// lumenfold's (the GL probe) would otherwise share the lock and could keep
// it after lumenfold was killed; closing is safe in the child after fork.
std::atomic<int> lockDescriptors[4] = {-1, -1, -1, -1};

void closeLocksInChild() {
    for (std::atomic<int>& fd : lockDescriptors) {
        const int open = fd.exchange(-1);
        if (open >= 0) close(open);
    }
}

void registerDescriptor(int fd) {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(nullptr, nullptr, closeLocksInChild); });
    for (std::atomic<int>& slot : lockDescriptors) {
        int free = -1;
        if (slot.compare_exchange_strong(free, fd)) return;
    }
}

void forgetDescriptor(int fd) {
    for (std::atomic<int>& slot : lockDescriptors) {
        int expected = fd;
        slot.compare_exchange_strong(expected, -1);
    }
}

// The directory is everybody's: a link is never followed and a FIFO never
// waited on. An existing file is opened without O_CREAT, which the kernel
// refuses for another user's file in a sticky directory (protected_regular);
// someone else's file we may only read still takes the lock, unnamed.
int openLockFile(const std::string& path, bool& writable) {
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | flags);
        writable = fd >= 0;
        if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | flags);
        if (fd >= 0 || errno != ENOENT) return fd;
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | flags, 0666);
        writable = true;
        if (fd >= 0) {
            // Every user's runs share the machine, whatever the umask.
            fchmod(fd, 0666);
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

std::string holderName(const LockHolder& holder) {
    return "pid " + std::to_string(holder.pid) + ", since " + displayText(holder.since) + ": " +
           displayText(holder.command);
}

// Who holds it, once the holder has written that (just after taking the
// lock): a second at most, trying for the lock meanwhile.
MachineLock::Attempt findHolder(MachineLock& lock, const std::string& directory, const LockHolder& self,
                                LockHolder& holder, std::string& error) {
    for (int tries = 0; tries < 20; ++tries) {
        if (lock.holder(holder)) return MachineLock::Attempt::held;
        usleep(50000);
        const MachineLock::Attempt attempt = lock.tryTake(directory, self, error);
        if (attempt != MachineLock::Attempt::held) return attempt;
    }
    holder = LockHolder{};
    return MachineLock::Attempt::held;
}

}  // namespace

std::string lockHolderText(const LockHolder& holder) {
    return "pid " + std::to_string(holder.pid) + "\nsince " + displayText(holder.since) + "\ncommand " +
           displayText(holder.command) + "\n";
}

bool parseLockHolder(const std::string& text, LockHolder& holder) {
    const char* keys[] = {"pid ", "since ", "command "};
    std::string values[3];
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos || text.compare(at, strlen(keys[i]), keys[i]) != 0) return false;
        values[i] = text.substr(at + strlen(keys[i]), end - at - strlen(keys[i]));
        at = end + 1;
    }
    char* stop = nullptr;
    errno = 0;
    const long pid = strtol(values[0].c_str(), &stop, 10);
    if (values[0].empty() || *stop != '\0' || errno != 0 || pid <= 0 || pid != pid_t(pid)) return false;
    holder = LockHolder{pid_t(pid), values[1], values[2]};
    return true;
}

std::string machineLockDirectory(std::string& error) {
    const char* given = getenv("LUMENFOLD_LOCK_DIR");
    if (given != nullptr && *given != '\0') return given;
    if (access("/run/lock", W_OK | X_OK) == 0) return "/run/lock";
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') return runtime;
    error = "no place for the machine lock: /run/lock cannot be written and XDG_RUNTIME_DIR is not set; "
            "set LUMENFOLD_LOCK_DIR to a directory every benchmark run on this machine uses";
    return "";
}

bool MachineLock::open(const std::string& directory, std::string& error) {
    path_ = directory + "/lumenfold.lock";
    fd_ = openLockFile(path_, writable_);
    struct stat file{};
    if (fd_ >= 0 && fstat(fd_, &file) == 0 && S_ISREG(file.st_mode) && file.st_nlink == 1) {
        owner_ = getpid();
        registerDescriptor(fd_);
        return true;
    }
    if (fd_ < 0 && errno == ELOOP)
        error = "the machine lock " + path_ + " is a symbolic link, never followed there; remove it";
    else if (fd_ < 0)
        error = "cannot open the machine lock " + path_ + ": " + strerror(errno);
    else
        error = "the machine lock " + path_ + " is not a plain file of its own; remove it";
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    return false;
}

MachineLock::Attempt MachineLock::tryTake(const std::string& directory, const LockHolder& self, std::string& error) {
    if (held_) return Attempt::taken;
    if (fd_ < 0 && !open(directory, error)) return Attempt::failed;
    self_ = self;
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        announce();
        return Attempt::taken;
    }
    if (errno == EWOULDBLOCK || errno == EINTR) return Attempt::held;
    error = "cannot lock " + path_ + ": " + strerror(errno);
    return Attempt::failed;
}

bool MachineLock::wait(std::string& error) {
    if (held_) return true;
    if (fd_ < 0) {
        error = "the machine lock is not open";
        return false;
    }
    // Interrupted only by a signal lumenfold catches to stop (SIGINT, SIGTERM, SIGHUP).
    if (flock(fd_, LOCK_EX) != 0) {
        error = errno == EINTR ? "interrupted while waiting for the machine"
                               : "cannot lock " + path_ + ": " + strerror(errno);
        return false;
    }
    announce();
    return true;
}

void MachineLock::announce() {
    held_ = true;
    if (!writable_) return;
    // Only now, holding it: emptying the file before would wipe the name of
    // the one who does.
    const std::string text = lockHolderText(self_);
    if (ftruncate(fd_, 0) != 0 || pwrite(fd_, text.data(), text.size(), 0) != ssize_t(text.size())) {
        // Waiters cannot name this run then; the lock holds all the same.
    }
}

bool MachineLock::holder(LockHolder& holder) const {
    if (fd_ < 0) return false;
    char text[4096];
    const ssize_t got = pread(fd_, text, sizeof text, 0);
    if (got <= 0 || !parseLockHolder(std::string(text, size_t(got)), holder)) return false;
    // A holder killed before it could empty the file leaves its name behind.
    return kill(holder.pid, 0) == 0 || errno == EPERM;
}

void MachineLock::release() {
    if (fd_ < 0) return;
    if (owner_ == getpid()) {
        // Emptied while still held, so that the next holder is never shown this one's name.
        if (held_ && writable_ && ftruncate(fd_, 0) != 0) {
        }
        forgetDescriptor(fd_);
        close(fd_);
    }
    fd_ = -1;
    held_ = false;
}

bool holdMachine(MachineLock& lock, const std::string& command, bool noWait, const SayLine& say) {
    std::string error;
    const std::string directory = machineLockDirectory(error);
    if (directory.empty()) {
        say(error);
        return false;
    }
    const LockHolder self{getpid(), isoLocalTime(time(nullptr)), command};
    LockHolder holder;
    MachineLock::Attempt attempt = lock.tryTake(directory, self, error);
    if (attempt == MachineLock::Attempt::held) attempt = findHolder(lock, directory, self, holder, error);
    if (attempt == MachineLock::Attempt::taken) return true;
    if (attempt == MachineLock::Attempt::failed) {
        say(error);
        return false;
    }
    const std::string who = holder.pid > 0 ? "another benchmark holds this machine (" + holderName(holder) + ")"
                                           : "another process holds the machine lock " + lock.path() +
                                                 " without saying who it is";
    if (noWait) {
        say(who + "; not waiting, as --no-wait asks");
        return false;
    }
    say(who + "; waiting for it to finish (--no-wait refuses instead)");
    if (!lock.wait(error)) {
        say(error);
        return false;
    }
    say("the machine is free now; going on");
    return true;
}

bool holdMachine(MachineLock& lock, const std::string& command, bool noWait) {
    return holdMachine(lock, command, noWait, [](const std::string& line) { tell(line); });
}
