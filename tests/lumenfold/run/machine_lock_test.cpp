#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "run/machine_lock.h"

namespace fs = std::filesystem;

namespace {

const char* const holderCommand = "lumenfold run cube --frames 20";

// A lock directory of the test's own, given to holdMachine as a user would.
class MachineLockTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumenfold-lock-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        setenv("LUMENFOLD_LOCK_DIR", dir.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("LUMENFOLD_LOCK_DIR");
        fs::remove_all(dir);
    }

    // A process that takes the lock, says so on a pipe, and holds it until
    // it reads a byte (or is killed).
    pid_t holder() {
        int ready[2], go[2];
        EXPECT_EQ(pipe(ready), 0);
        EXPECT_EQ(pipe(go), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            MachineLock lock;
            std::string error;
            if (lock.tryTake(dir, {getpid(), "2026-11-01T03:00:00+01:00", holderCommand}, error) !=
                MachineLock::Attempt::taken)
                _exit(1);
            char byte = 'x';
            if (write(ready[1], &byte, 1) != 1 || read(go[0], &byte, 1) < 0) _exit(2);
            _exit(0);
        }
        close(ready[1]);
        close(go[0]);
        char byte = 0;
        EXPECT_EQ(read(ready[0], &byte, 1), 1) << "the holder did not take the lock";
        close(ready[0]);
        releaseHolder = go[1];
        return pid;
    }

    std::string dir;
    int releaseHolder = -1;
};

TEST(MachineLockText, OnlyAWholeRecordNamesAHolder) {
    const LockHolder written{4242, "2026-11-01T03:00:00+01:00", "lumenfold run 'a\nb'"};
    const std::string text = lockHolderText(written);
    LockHolder read;
    ASSERT_TRUE(parseLockHolder(text, read));
    EXPECT_EQ((std::vector<std::string>{std::to_string(read.pid), read.since, read.command}),
              (std::vector<std::string>{"4242", written.since, "lumenfold run 'a\\x0ab'"}));
    // The holder writes just after taking the lock: a reader may see any prefix.
    for (size_t cut = 0; cut < text.size(); ++cut) EXPECT_FALSE(parseLockHolder(text.substr(0, cut), read)) << cut;
    for (const char* bad : {"pid 0\nsince x\ncommand y\n", "pid -3\nsince x\ncommand y\n",
                            "pid 12a\nsince x\ncommand y\n", "pid 99999999999\nsince x\ncommand y\n",
                            "since x\npid 1\ncommand y\n"})
        EXPECT_FALSE(parseLockHolder(bad, read)) << bad;
}

TEST_F(MachineLockTest, ASecondRefusesWithNoWaitOrWaitsNamingTheHolderOnce) {
    const pid_t first = holder();
    MachineLock lock;
    std::vector<std::string> said;
    const SayLine say = [&said](const std::string& line) { said.push_back(line); };
    EXPECT_FALSE(holdMachine(lock, "lumenfold run triangles", true, say));
    ASSERT_EQ(said.size(), 1u);
    const std::string named = "pid " + std::to_string(first) + ", since 2026-11-01T03:00:00+01:00: " + holderCommand;
    EXPECT_NE(said[0].find(named), std::string::npos) << said[0];
    EXPECT_NE(said[0].find("--no-wait"), std::string::npos) << said[0];
    EXPECT_FALSE(lock.held());

    // Waiting: the holder is told to finish only once the waiter has said who it waits for.
    said.clear();
    const SayLine release = [&](const std::string& line) {
        said.push_back(line);
        if (said.size() == 1) {
            EXPECT_EQ(write(releaseHolder, "x", 1), 1);
        }
    };
    EXPECT_TRUE(holdMachine(lock, "lumenfold run triangles", false, release));
    EXPECT_TRUE(lock.held());
    ASSERT_EQ(said.size(), 2u);
    EXPECT_NE(said[0].find(named + "); waiting"), std::string::npos) << said[0];
    EXPECT_EQ(said[1], "the machine is free now; going on");
    int status = 0;
    waitpid(first, &status, 0);
    EXPECT_EQ(status, 0);
    close(releaseHolder);

    // The file now names this process to the next one.
    LockHolder now;
    ASSERT_TRUE(lock.holder(now));
    EXPECT_EQ((std::make_pair(now.pid, now.command)), (std::make_pair(getpid(), std::string("lumenfold run triangles"))));
}

TEST_F(MachineLockTest, AKilledHolderFreesTheLockAndItsStaleNameIsNotShown) {
    const pid_t first = holder();
    MachineLock lock;
    std::string error;
    const LockHolder self{getpid(), "now", "lumenfold validate cube"};
    ASSERT_EQ(lock.tryTake(dir, self, error), MachineLock::Attempt::held) << error;
    kill(first, SIGKILL);
    int status = 0;
    waitpid(first, &status, 0);
    close(releaseHolder);
    LockHolder named;
    EXPECT_FALSE(lock.holder(named)) << "a dead holder named: pid " << named.pid;
    EXPECT_EQ(lock.tryTake(dir, self, error), MachineLock::Attempt::taken) << error;
}

TEST_F(MachineLockTest, NoForkedCopyKeepsTheLockOnceLumenfoldLetsGo) {
    auto lock = std::make_unique<MachineLock>();
    std::string error;
    ASSERT_EQ(lock->tryTake(dir, {getpid(), "now", "lumenfold suite"}, error), MachineLock::Attempt::taken) << error;
    // As the GL probe is: forked, running lumenfold's code, outliving the hold.
    int running[2];
    ASSERT_EQ(pipe(running), 0);
    const pid_t copy = fork();
    if (copy == 0) {
        if (write(running[1], "x", 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    close(running[1]);
    char byte = 0;
    ASSERT_EQ(read(running[0], &byte, 1), 1);
    close(running[0]);
    lock.reset();
    MachineLock next;
    EXPECT_EQ(next.tryTake(dir, {getpid(), "now", "lumenfold run cube"}, error), MachineLock::Attempt::taken)
        << "the forked copy kept the lock";
    kill(copy, SIGKILL);
    waitpid(copy, nullptr, 0);
}

TEST_F(MachineLockTest, ALinkOrAPipePutInItsPlaceIsNeverTakenForTheLock) {
    // The directory is everybody's: lumenfold, often root, must not truncate
    // whatever a link points to, nor wait forever on a pipe.
    const std::string target = dir + "/precious", lock = dir + "/lumenfold.lock";
    std::ofstream(target) << "keep me\n";
    const LockHolder self{getpid(), "now", "lumenfold run cube"};
    for (const char* kind : {"symbolic link", "hard link", "pipe"}) {
        const std::string made = kind;
        const int done = made == "pipe" ? mkfifo(lock.c_str(), 0666)
                         : made == "hard link" ? link(target.c_str(), lock.c_str())
                                               : symlink(target.c_str(), lock.c_str());
        ASSERT_EQ(done, 0) << kind;
        MachineLock taken;
        std::string error;
        EXPECT_EQ(taken.tryTake(dir, self, error), MachineLock::Attempt::failed) << kind;
        EXPECT_NE(error.find("remove it"), std::string::npos) << error;
        unlink(lock.c_str());
    }
    std::stringstream kept;
    kept << std::ifstream(target).rdbuf();
    EXPECT_EQ(kept.str(), "keep me\n");
}

}  // namespace
