// The results file's writes are checked: the first failure is said once on
// stderr, the file takes no more lines, the console goes on line for line,
// and the closing line no longer claims the results were saved.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "sinks.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// A stream whose device takes whole writes while they fit in `room` bytes,
// then fails with ENOSPC, and
// whose close fails with closeError when that is not 0.
struct Device {
    std::string taken;
    size_t room = 0;
    int writes = 0;
    int closeError = 0;
};

FILE* openDevice(Device& device) {
    cookie_io_functions_t io{};
    io.write = [](void* cookie, const char* data, size_t size) -> ssize_t {
        Device& d = *static_cast<Device*>(cookie);
        ++d.writes;
        if (size > d.room - d.taken.size()) {
            errno = ENOSPC;
            return -1;
        }
        d.taken.append(data, size);
        return ssize_t(size);
    };
    io.close = [](void* cookie) -> int {
        Device& d = *static_cast<Device*>(cookie);
        if (d.closeError == 0) return 0;
        errno = d.closeError;
        return -1;
    };
    return fopencookie(&device, "w", io);
}

const std::string lead = "Writing the results file \"results x.txt\" failed: ";
const std::string tail = "; later results are not saved.\n";

TEST(ResultsWrites, FirstFailureIsSaidOnceTheFileIsLeftAndTheConsoleGoesOn) {
    Device device;
    device.room = 16;
    useResultsFile(openDevice(device), "results x.txt");
    CaptureStdout();
    CaptureStderr();
    reportLine("first line");
    reportLine("second line, past the room");
    const int writesAtFailure = device.writes;
    reportLine("third line");
    reportEmptyLine();
    closeResultsFile();
    EXPECT_EQ(GetCapturedStderr(), lead + strerror(ENOSPC) + tail);
    EXPECT_EQ(GetCapturedStdout(), "first line\nsecond line, past the room\nthird line\n\n");
    EXPECT_EQ(resultsFile, nullptr);
    EXPECT_EQ(device.writes, writesAtFailure) << "nothing more was sent to the file";
    EXPECT_EQ(device.taken, "first line\n");
    EXPECT_EQ(closingLine().rfind(notAllSavedLead, 0), 0u) << closingLine();
    EXPECT_EQ(closingLine().substr(closingLine().size() - 14), "/results x.txt");
}

TEST(ResultsWrites, AFailedCloseCountsAsAFailedWrite) {
    Device device;
    device.room = 1000;
    device.closeError = EIO;
    useResultsFile(openDevice(device), "results x.txt");
    CaptureStderr();
    resultsLine("all of it written");
    EXPECT_EQ(closingLine().rfind(savedLead, 0), 0u) << closingLine();
    closeResultsFile();
    EXPECT_EQ(GetCapturedStderr(), lead + strerror(EIO) + tail);
    EXPECT_EQ(device.taken, "all of it written\n");
    EXPECT_EQ(closingLine().rfind(notAllSavedLead, 0), 0u) << closingLine();

    useResultsFile(nullptr, "results x.txt");
    EXPECT_EQ(closingLine().rfind(notCreatedLead, 0), 0u) << closingLine();
}

TEST(ResultsWrites, DevFullFailsAtTheFirstLine) {
    FILE* full = fopen("/dev/full", "w");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full here";
    useResultsFile(full, "results x.txt");
    CaptureStderr();
    CaptureStdout();
    reportLine("title");
    reportLine("more");
    EXPECT_EQ(GetCapturedStdout(), "title\nmore\n");
    EXPECT_EQ(GetCapturedStderr(), lead + strerror(ENOSPC) + tail);
}

// A real file whose size limit falls inside a line: the part of the line
// that reached the disk is cut off again, so the file ends on a whole line.
TEST(ResultsWrites, AFileCutShortEndsOnItsLastWholeLine) {
    char path[] = "/tmp/lumenfold-sinksXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    // Nothing captured here: the capture files would fall under the limit too.
    useResultsFile(fdopen(fd, "w"), "results x.txt");
    reportLine("0123456789");
    reportLine("abcdefghijklmnop");
    reportLine("never written");
    closeResultsFile();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, savedHandler);
    EXPECT_EQ(closingLine().rfind(notAllSavedLead, 0), 0u) << closingLine();

    FILE* reader = fopen(path, "r");
    ASSERT_NE(reader, nullptr);
    char content[64] = {};
    const size_t got = fread(content, 1, sizeof content - 1, reader);
    fclose(reader);
    unlink(path);
    EXPECT_EQ(std::string(content, got), "0123456789\n");
}

}  // namespace
