#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fill.h"

namespace {

std::string sha256(const void* data, size_t bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data, bytes, digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

// The SHA-256 of the whole 512 MiB buffer as each level fills it.
const char* expectedHash(FillLevel level) {
    switch (level) {
        case fillPlain: return "2723f1a61b643f4371f86035b838136057c8a6e730d8e4ac334aaec982925349";
        case fillSse2: return "f310367f9e086b275e06455a249c0a1e934e10e767b034a5a357054d96042b1a";
        default: return "a6a55f87c45e4e71588a7db9b35689a2df5a03c5a597e8cefc4a7a358b79d0dd";
    }
}

// Every level this machine has, on one thread, two, and an odd number, both
// ways of bringing the pages in: the slices must meet without a gap, an
// overlap or a change in any bit.
TEST(FillHash, WholeBufferAtEveryLevelAndThreadCount) {
    double* buffer = provisionAttributeBuffer(attributeHugePages);
    ASSERT_NE(buffer, nullptr);
    for (int l = 0; l < fillLevelCount; ++l) {
        const FillLevel level = FillLevel(l);
        if (!fillLevelSupported(level)) continue;
        for (unsigned threads : {1u, 2u, 3u}) {
            const FillTouch touch = threads == 2 ? touchByWriting : touchByPopulating;
            // Garbage first, so that an element left unwritten shows.
            std::memset(buffer, 0xa5, attributeBytes);
            fillAttributesThreaded(level, threads, touch, buffer, attributeCount);
            EXPECT_EQ(sha256(buffer, attributeBytes), expectedHash(level))
                << fillLevelName(level) << ", " << threads << " threads";
        }
    }
    munmap(buffer, attributeBytes);
}

// With no room left for a thread's stack every thread fails to start, and
// the caller fills their slices itself, silently. Run in a fresh process (this
// binary again), whose address space can be capped without harm to the test
// runner, and which holds no stacks of finished threads for reuse.
TEST(FillThreads, ThreadsThatCannotStartLeaveTheirSlicesToTheCaller) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("FILL_TEST_CAPPED", "1", 1);
        execl("/proc/self/exe", "fill_tests", "--gtest_filter=FillThreadsCapped.*", nullptr);
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(FillThreadsCapped, InnerRun) {
    if (getenv("FILL_TEST_CAPPED") == nullptr) GTEST_SKIP() << "run by the test above";
    const size_t count = size_t(1) << 20;
    std::vector<double> expected(count), filled(count, -1.0);
    fillAttributesAt(bestFillLevel(), expected.data(), 0, count);
    // A thread's stack is mapped anew; with the address space capped at what
    // is in use now, no stack fits.
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    ASSERT_GT(pages, 0);
    const rlim_t now = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE));
    const rlimit cap = {now + (1 << 18), now + (1 << 18)};
    ASSERT_EQ(setrlimit(RLIMIT_AS, &cap), 0);
    pthread_t probe;
    ASSERT_NE(pthread_create(&probe, nullptr, [](void*) -> void* { return nullptr; }, nullptr), 0)
        << "the cap did not stop threads: nothing would be tested";
    fillAttributesThreaded(bestFillLevel(), 4, touchByPopulating, filled.data(), count);
    EXPECT_EQ(std::memcmp(filled.data(), expected.data(), count * sizeof(double)), 0);
}

}  // namespace
