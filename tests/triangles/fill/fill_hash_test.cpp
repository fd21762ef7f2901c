#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// The SHA-256 of the whole 512 MiB buffer, the same at every level; README
// publishes it.
const char* const bufferHash = "2ffc950cdff6e7fa1578e1187f041996c9e6bd0f6497435fa9b6b07c30d5ca7c";

// Every level this machine has, and the portable one, on one thread, two, and
// an odd number, both ways of bringing the pages in: the slices must meet without a gap, an
// overlap or a change in any bit.
TEST(FillHash, WholeBufferAtEveryLevelAndThreadCount) {
    double* buffer = provisionAttributeBuffer(attributeHugePages);
    ASSERT_NE(buffer, nullptr);
    for (int l = 0; l < fillLevelCount; ++l) {
        const FillLevel level = FillLevel(l);
        if (!fillLevelSupported(level)) continue;
        // The slow portable level once, on an odd number of threads.
        const std::vector<unsigned> counts =
            level == fillPortable ? std::vector<unsigned>{3} : std::vector<unsigned>{1, 2, 3};
        for (unsigned threads : counts) {
            const FillTouch touch = threads == 2 ? touchByWriting : touchByPopulating;
            // Garbage first, so that an element left unwritten shows.
            std::memset(buffer, 0xa5, attributeBytes);
            fillAttributesThreaded(level, threads, touch, buffer, attributeCount);
            EXPECT_EQ(sha256(buffer, attributeBytes), bufferHash)
                << fillLevelName(level) << ", " << threads << " threads";
        }
    }
    // The fill as the program runs it: begun in the background, finished
    // later by a caller that takes part.
    std::memset(buffer, 0xa5, attributeBytes);
    startAttributeFill(buffer, attributeCount);
    finishAttributeFill(buffer, attributeCount);
    EXPECT_EQ(sha256(buffer, attributeBytes), bufferHash) << "background fill";
    munmap(buffer, attributeBytes);
}

// Runs the tests matching filter in a fresh process (this binary again) with
// one more variable in its environment; returns its exit status.
int runInChild(const char* filter, const char* name, const char* value) {
    const pid_t child = fork();
    if (child == 0) {
        setenv(name, value, 1);
        setenv("FILL_TEST_CHILD", "1", 1);
        const std::string option = std::string("--gtest_filter=") + filter;
        execl("/proc/self/exe", "fill_tests", option.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool inChild() { return getenv("FILL_TEST_CHILD") != nullptr; }

// With no room left for a thread's stack every thread fails to start, and
// the caller fills their slices itself, silently. In a fresh process, whose
// address space can be capped without harm to the test runner, and which
// holds no stacks of finished threads for reuse.
TEST(FillThreads, ThreadsThatCannotStartLeaveTheirSlicesToTheCaller) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer maps memory of its own, so the address-space cap stops it first";
#endif
    EXPECT_EQ(runInChild("FillChild.CappedAddressSpace", "LUMENFOLD_FILL_THREADS", "4"), 0);
}

TEST(FillChild, CappedAddressSpace) {
    if (!inChild()) GTEST_SKIP() << "run by FillThreads";
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
    std::fill(filled.begin(), filled.end(), -1.0);
    startAttributeFill(filled.data(), count);
    finishAttributeFill(filled.data(), count);
    EXPECT_EQ(std::memcmp(filled.data(), expected.data(), count * sizeof(double)), 0) << "background fill";
}

// The environment picks the level and the thread count of the shipped fill;
// what it cannot honour is named.
TEST(FillSettings, EnvironmentPicksLevelAndThreads) {
    EXPECT_EQ(runInChild("FillChild.PortableOnThree", "LUMENFOLD_FILL_LEVEL", "portable"), 0);
}

TEST(FillChild, PortableOnThree) {
    if (!inChild()) GTEST_SKIP() << "run by FillSettings";
    setenv("LUMENFOLD_FILL_THREADS", "3", 1);
    EXPECT_EQ(fillSettingsProblem(), nullptr);
    EXPECT_EQ(shippedFillLevel(), fillPortable);
    EXPECT_EQ(fillThreadCount(), 3u);
}

TEST(FillSettings, ProblemsNamed) {
    struct Case {
        const char* level;
        const char* threads;
        const char* expected;  // part of the message, or nullptr for none
    } cases[] = {
        {"avx3", nullptr, "LUMENFOLD_FILL_LEVEL=avx3 is no fill level"},
        {"AVX2", nullptr, "is no fill level"},
        {"", nullptr, "is no fill level"},
        {"portable", "0", "LUMENFOLD_FILL_THREADS=0 is no thread count"},
        {nullptr, "2x", "is no thread count"},
        {nullptr, "-1", "is no thread count"},
        {nullptr, "257", "is no thread count"},
        {"portable", "256", nullptr},
        {nullptr, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        c.level ? setenv("LUMENFOLD_FILL_LEVEL", c.level, 1) : unsetenv("LUMENFOLD_FILL_LEVEL");
        c.threads ? setenv("LUMENFOLD_FILL_THREADS", c.threads, 1)
                  : unsetenv("LUMENFOLD_FILL_THREADS");
        const char* problem = fillSettingsProblem();
        if (c.expected == nullptr) {
            EXPECT_EQ(problem, nullptr) << problem;
        } else {
            ASSERT_NE(problem, nullptr) << c.expected;
            EXPECT_NE(std::strstr(problem, c.expected), nullptr) << problem;
        }
    }
    unsetenv("LUMENFOLD_FILL_LEVEL");
    unsetenv("LUMENFOLD_FILL_THREADS");
    // A level this processor lacks, where there is one.
    for (int l = 0; l < fillLevelCount; ++l) {
        if (fillLevelSupported(FillLevel(l))) continue;
        const char* names[] = {"portable", "sse2", "avx2", "avx512"};
        setenv("LUMENFOLD_FILL_LEVEL", names[l], 1);
        const char* problem = fillSettingsProblem();
        ASSERT_NE(problem, nullptr);
        EXPECT_NE(std::strstr(problem, "lacks that level"), nullptr) << problem;
        unsetenv("LUMENFOLD_FILL_LEVEL");
    }
}

}  // namespace
