#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/process.h"

namespace {

TEST(Process, WaitStatusesInWords) {
    pid_t child = fork();
    if (child == 0) _exit(3);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(describeWaitStatus(status), "exited with status 3");

    child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    EXPECT_EQ(describeWaitStatus(status), "was killed by signal 9 (Killed)");
}

TEST(Process, LinesSplitAcrossReadsAndALastLineWithoutNewline) {
    LineReader reader;
    std::vector<std::string> lines;
    reader.take("a\nb", false, lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"a"}));
    reader.take("c\n\nd", false, lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "bc", ""}));
    reader.take("", true, lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "bc", "", "d"}));
}

TEST(Process, StopKillsWhatIgnoresTheRequest) {
    pid_t child = fork();
    if (child == 0) {
        signal(SIGTERM, SIG_IGN);
        for (;;) pause();
    }
    usleep(50000);
    int status = 0;
    const double start = monotonicSeconds();
    stopProcess(child, status, 0.3);
    EXPECT_GE(monotonicSeconds() - start, 0.3);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
}

TEST(Process, SpawnTellsWhyAProgramCannotStart) {
    ChildProcess child;
    std::string error;
    EXPECT_FALSE(spawnWithPipes("/nonexistent/program", "/", child, error));
    EXPECT_EQ(error, "cannot start /nonexistent/program in /: No such file or directory");
    EXPECT_FALSE(spawnWithPipes("/bin/true", "/nonexistent-dir", child, error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos);

    ASSERT_TRUE(spawnWithPipes("/bin/cat", "/", child, error)) << error;
    ASSERT_EQ(write(child.input, "one\ntwo", 7), 7);
    close(child.input);
    child.input = -1;
    LineReader reader;
    std::vector<std::string> lines;
    while (reader.read(child.output, lines)) usleep(1000);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two"}));
    int status = 0;
    waitpid(child.pid, &status, 0);
    closePipes(child);
}

TEST(Process, HelperToolsAndForkedCode) {
    const ToolRun missing = runWithInput({"lumenfold-no-such-tool"}, "");
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.missing);
    EXPECT_EQ(missing.error, "lumenfold-no-such-tool is not installed or not on PATH");
    const std::vector<std::string> check = {"sh", "-c", "read line; test \"$line\" = yes"};
    EXPECT_TRUE(runWithInput(check, "yes\n").ok);
    const ToolRun refused = runWithInput(check, "no\n");
    EXPECT_FALSE(refused.ok || refused.missing);
    EXPECT_EQ(refused.error, "sh exited with status 1");

    // A descriptor passed on survives the exec; forked code's return value
    // is its exit status.
    int extra[2];
    ASSERT_EQ(pipe2(extra, O_CLOEXEC), 0);
    ChildSpec passing;
    passing.argv = {"sh", "-c", "printf x >&" + std::to_string(extra[1])};
    passing.passFds = {extra[1]};
    ChildSpec code;
    code.output = Stream::pipe;
    code.code = [] { return write(1, "hi", 2) == 2 ? 4 : 0; };
    ChildProcess first, second;
    std::string error, passed, text;
    ASSERT_TRUE(startChild(passing, first, error)) << error;
    close(extra[1]);
    EXPECT_TRUE(readAll(extra[0], passed, 10));
    close(extra[0]);
    ASSERT_TRUE(startChild(code, second, error)) << error;
    EXPECT_TRUE(readAll(second.output, text, 10));
    int status = 0;
    waitpid(first.pid, &status, 0);
    waitpid(second.pid, &status, 0);
    closePipes(second);
    EXPECT_EQ(passed, "x");
    EXPECT_EQ(text, "hi");
    EXPECT_EQ(describeWaitStatus(status), "exited with status 4");
}

TEST(Process, AChildsEnvironmentIsLumenfoldsWithTheChangesAsked) {
    setenv("LUMENFOLD_TEST_KEPT", "kept", 1);
    setenv("LUMENFOLD_TEST_GONE", "there", 1);
    ChildSpec spec;
    spec.argv = {"sh", "-c", "echo \"$LUMENFOLD_TEST_KEPT $LUMENFOLD_TEST_SET ${LUMENFOLD_TEST_GONE-unset}\""};
    spec.environment = {{"LUMENFOLD_TEST_SET", "a b=c"}, {"LUMENFOLD_TEST_GONE", std::nullopt}};
    spec.output = Stream::pipe;
    ChildProcess child;
    std::string error, out;
    ASSERT_TRUE(startChild(spec, child, error)) << error;
    EXPECT_TRUE(readAll(child.output, out, 30));
    closePipes(child);
    int status = 0;
    waitpid(child.pid, &status, 0);
    EXPECT_EQ(out, "kept a b=c unset\n");
    // Lumenfold's own environment is as it was.
    EXPECT_STREQ(getenv("LUMENFOLD_TEST_GONE"), "there");
    EXPECT_EQ(getenv("LUMENFOLD_TEST_SET"), nullptr);
    unsetenv("LUMENFOLD_TEST_KEPT");
    unsetenv("LUMENFOLD_TEST_GONE");
}

}  // namespace
