// One benchmark at a time per machine: a run, a series, a suite or a
// validation holds an exclusive flock on one file for as long as it runs
// programs, so that two never share the processors and spoil each other's
// figures. The kernel drops the lock with its holder's last descriptor, so
// a holder that is killed never leaves it held.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

// Who holds the machine, as the holder wrote it into the lock file once it
// had the lock.
struct LockHolder {
    pid_t pid = 0;
    std::string since;    // ISO 8601 local time
    std::string command;  // its command line, on one line
};

// The lock file's text, and back; false unless the text is a whole record
// (the holder may be between taking the lock and writing it).
std::string lockHolderText(const LockHolder& holder);
bool parseLockHolder(const std::string& text, LockHolder& holder);

// Where the lock file goes: LUMENFOLD_LOCK_DIR when set (tests, or a
// machine's own choice), else /run/lock when it can be written, else
// $XDG_RUNTIME_DIR (one user's runs only, then); empty, with the reason in
// error, when there is none.
std::string machineLockDirectory(std::string& error);

// The lock itself. Its descriptor is close-on-exec and a forked copy of
// lumenfold closes it at once: nothing lumenfold starts can keep the
// machine after lumenfold is gone.
class MachineLock {
public:
    enum class Attempt { taken, held, failed };

    MachineLock() = default;
    ~MachineLock() { release(); }
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

    // Opens DIRECTORY/lumenfold.lock (made when missing) and tries to take it
    // without waiting; once taken, writes self into it. Again after held, it
    // tries again.
    Attempt tryTake(const std::string& directory, const LockHolder& self, std::string& error);
    // After held: waits until the holder lets go, then takes it as tryTake does.
    bool wait(std::string& error);
    // The holder as the file names it; false when it names none, or a
    // process that is gone (the next holder has not written yet).
    bool holder(LockHolder& holder) const;
    bool held() const { return held_; }
    const std::string& path() const { return path_; }
    void release();

private:
    bool open(const std::string& directory, std::string& error);
    void announce();

    int fd_ = -1;
    pid_t owner_ = 0;  // the process that opened fd_; a forked copy leaves it alone
    bool held_ = false;
    bool writable_ = false;
    std::string path_;
    LockHolder self_;
};

// Takes the machine for this command: at once; or, when another holds it,
// after saying once who does and waiting; or, with noWait, not at all. False,
// with the reason said, when the command must not go on.
using SayLine = std::function<void(const std::string&)>;
bool holdMachine(MachineLock& lock, const std::string& command, bool noWait, const SayLine& say);
// The same, saying it on stderr.
bool holdMachine(MachineLock& lock, const std::string& command, bool noWait);
