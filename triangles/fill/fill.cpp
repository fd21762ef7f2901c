#include "fill.h"

#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

double attributeElement(size_t k) {
    const double x = double(k);
    return (std::cos(x) + std::sin(x)) * std::tan(x);
}

void fillAttributesPlain(double* buffer, size_t count) {
    for (size_t k = 0; k < count; ++k) buffer[k] = attributeElement(k);
}

const char* fillLevelName(FillLevel level) {
    switch (level) {
        case fillSse2: return "SSE2";
        case fillAvx2: return "AVX2";
        case fillAvx512: return "AVX-512";
        default: return "portable";
    }
}

namespace {
const char* const levelNames[fillLevelCount] = {"portable", "sse2", "avx2", "avx512"};
}  // namespace

int fillLevelFromName(const char* name) {
    for (int level = 0; level < fillLevelCount; ++level) {
        if (std::strcmp(name, levelNames[level]) == 0) return level;
    }
    return -1;
}

bool fillLevelSupported(FillLevel level) {
    switch (level) {
        case fillPortable: return true;
#if LUMENFOLD_VECTOR_FILL
        case fillSse2: return __builtin_cpu_supports("sse2");
        case fillAvx2: return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
        case fillAvx512: return __builtin_cpu_supports("avx512f");
#endif
        default: return false;
    }
}

FillLevel bestFillLevel() {
    static const FillLevel best = [] {
        for (int level = fillLevelCount - 1; level > fillPortable; --level) {
            if (fillLevelSupported(FillLevel(level))) return FillLevel(level);
        }
        return fillPortable;
    }();
    return best;
}

FillLevel shippedFillLevel() {
    static const FillLevel shipped = [] {
        const char* name = std::getenv("LUMENFOLD_FILL_LEVEL");
        const int level = name == nullptr ? -1 : fillLevelFromName(name);
        return level >= 0 && fillLevelSupported(FillLevel(level)) ? FillLevel(level)
                                                                  : bestFillLevel();
    }();
    return shipped;
}

void fillAttributesAt(FillLevel level, double* buffer, size_t first, size_t count) {
    switch (level) {
#if LUMENFOLD_VECTOR_FILL
        case fillSse2: fillRangeSse2(buffer, first, count); return;
        case fillAvx2: fillRangeAvx2(buffer, first, count); return;
        case fillAvx512: fillRangeAvx512(buffer, first, count); return;
#endif
        default: fillRangePortable(buffer, first, count);
    }
}

size_t trigAt(FillLevel level, size_t first, size_t count, double* cosOut, double* sinOut,
              double* tanOut) {
    switch (level) {
#if LUMENFOLD_VECTOR_FILL
        case fillSse2: return trigRangeSse2(first, count, cosOut, sinOut, tanOut);
        case fillAvx2: return trigRangeAvx2(first, count, cosOut, sinOut, tanOut);
        case fillAvx512: return trigRangeAvx512(first, count, cosOut, sinOut, tanOut);
#endif
        default: return trigRangePortable(first, count, cosOut, sinOut, tanOut);
    }
}

namespace {

// A whole number from 1 to maxFillThreads, or 0 for anything else.
unsigned parseThreadCount(const char* text) {
    if (text == nullptr || *text < '0' || *text > '9') return 0;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > maxFillThreads) return 0;
    return unsigned(value);
}

unsigned availableCpus() {
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    if (sched_getaffinity(0, sizeof cpus, &cpus) != 0) return 1;
    const int count = CPU_COUNT(&cpus);
    return count < 1 ? 1 : unsigned(count);
}

struct FillSlice {
    FillLevel level;
    FillTouch touch;
    double* buffer;  // the whole buffer; the slice is [first, first + count)
    size_t first;
    size_t count;
};

// Asks the kernel to fault in the whole pages of the slice at once, which
// costs less than a fault per page; a kernel without MADV_POPULATE_WRITE
// refuses, and the fill's own writes fault the pages in instead.
void populate(double* begin, size_t count) {
#ifdef MADV_POPULATE_WRITE
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t from = (reinterpret_cast<uintptr_t>(begin) + page - 1) & ~(page - 1);
    const uintptr_t to = reinterpret_cast<uintptr_t>(begin + count) & ~(page - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
    (void)begin, (void)count;
#endif
}

void fillSlice(const FillSlice& slice) {
    double* begin = slice.buffer + slice.first;
    if (slice.touch == touchByPopulating) populate(begin, slice.count);
    fillAttributesAt(slice.level, begin, slice.first, slice.count);
}

void* fillSliceThread(void* slice) {
    fillSlice(*static_cast<const FillSlice*>(slice));
    return nullptr;
}

// Below this many elements per thread a thread costs more than it saves.
constexpr size_t minElementsPerThread = size_t(1) << 16;
// Slices start on whole 4 KiB pages of a page-aligned buffer, so no page is
// written by two threads.
constexpr size_t sliceGranule = 4096 / sizeof(double);

}  // namespace

unsigned fillThreadCount() {
    static const unsigned threads = [] {
        const unsigned requested = parseThreadCount(std::getenv("LUMENFOLD_FILL_THREADS"));
        if (requested != 0) return requested;
        const unsigned cpus = availableCpus();
        return cpus < maxFillThreads ? cpus : maxFillThreads;
    }();
    return threads;
}

void fillAttributesThreaded(FillLevel level, unsigned threads, FillTouch touch, double* buffer,
                            size_t count) {
    if (threads > maxFillThreads) threads = maxFillThreads;
    const size_t most = count / minElementsPerThread;
    if (threads > most) threads = unsigned(most);
    if (threads <= 1) {
        fillSlice(FillSlice{level, touch, buffer, 0, count});
        return;
    }
    FillSlice slices[maxFillThreads];
    pthread_t workers[maxFillThreads];
    bool started[maxFillThreads] = {};
    const size_t granules = (count + sliceGranule - 1) / sliceGranule;
    for (unsigned i = 0; i < threads; ++i) {
        const size_t first = granules * i / threads * sliceGranule;
        const size_t end = i + 1 == threads ? count : granules * (i + 1) / threads * sliceGranule;
        slices[i] = FillSlice{level, touch, buffer, first, end - first};
    }
    for (unsigned i = 1; i < threads; ++i) {
        started[i] = pthread_create(&workers[i], nullptr, fillSliceThread, &slices[i]) == 0;
    }
    fillSlice(slices[0]);
    for (unsigned i = 1; i < threads; ++i) {
        if (started[i]) pthread_join(workers[i], nullptr);
        else fillSlice(slices[i]);
    }
}

const char* fillSettingsProblem() {
    static char problem[512];
    const char* name = std::getenv("LUMENFOLD_FILL_LEVEL");
    if (name != nullptr) {
        const int level = fillLevelFromName(name);
        if (level < 0) {
            std::snprintf(problem, sizeof problem,
                          "LUMENFOLD_FILL_LEVEL=%.64s is no fill level; use portable, sse2, "
                          "avx2 or avx512.",
                          name);
            return problem;
        }
        if (!fillLevelSupported(FillLevel(level))) {
            std::snprintf(problem, sizeof problem,
                          "LUMENFOLD_FILL_LEVEL=%s: this %s lacks that level; the fastest it "
                          "has is %s.",
                          name,
#if LUMENFOLD_VECTOR_FILL
                          "processor",
#else
                          "build",
#endif
                          levelNames[bestFillLevel()]);
            return problem;
        }
    }
    const char* threads = std::getenv("LUMENFOLD_FILL_THREADS");
    if (threads != nullptr && parseThreadCount(threads) == 0) {
        std::snprintf(problem, sizeof problem,
                      "LUMENFOLD_FILL_THREADS=%.64s is no thread count; use a whole number "
                      "from 1 to %u.",
                      threads, maxFillThreads);
        return problem;
    }
    return nullptr;
}

void fillAttributes(double* buffer, size_t count) {
    fillAttributesThreaded(shippedFillLevel(), fillThreadCount(), shippedFillTouch, buffer, count);
}

namespace {

// 2 MiB: small enough that the last chunks even out threads slowed by the
// window's set-up, large enough that taking one costs nothing measurable.
constexpr size_t chunkElements = size_t(1) << 18;

struct BackgroundFill {
    FillLevel level;
    double* buffer;
    size_t count;
    size_t chunks;
    std::atomic<size_t> nextChunk;
    unsigned workers;
    pthread_t threads[maxFillThreads];
    bool started[maxFillThreads];
};

// Static, never destroyed while a worker may run: a process that exits with
// the fill still going (no display, say) must not tear it down under them.
BackgroundFill background;
bool backgroundStarted = false;

void fillChunks(BackgroundFill& fill) {
    for (;;) {
        const size_t chunk = fill.nextChunk.fetch_add(1, std::memory_order_relaxed);
        if (chunk >= fill.chunks) return;
        const size_t first = chunk * chunkElements;
        const size_t end = first + chunkElements < fill.count ? first + chunkElements : fill.count;
        fillSlice(FillSlice{fill.level, shippedFillTouch, fill.buffer, first, end - first});
    }
}

void* fillChunksThread(void* fill) {
    fillChunks(*static_cast<BackgroundFill*>(fill));
    return nullptr;
}

}  // namespace

void startAttributeFill(double* buffer, size_t count) {
    if (backgroundStarted) return;
    backgroundStarted = true;
    BackgroundFill& fill = background;
    fill.level = shippedFillLevel();
    fill.buffer = buffer;
    fill.count = count;
    fill.chunks = (count + chunkElements - 1) / chunkElements;
    fill.nextChunk.store(0, std::memory_order_relaxed);
    const size_t most = count / minElementsPerThread;
    unsigned workers = fillThreadCount();
    if (workers > most) workers = unsigned(most);
    // With one CPU the caller fills it all at the finish, as the plain
    // threaded fill does: a thread would compete with the window for that CPU.
    if (workers <= 1) workers = 0;
    fill.workers = workers;
    for (unsigned i = 0; i < workers; ++i)
        fill.started[i] = pthread_create(&fill.threads[i], nullptr, fillChunksThread, &fill) == 0;
}

void finishAttributeFill(double* buffer, size_t count) {
    BackgroundFill& fill = background;
    if (!backgroundStarted || fill.buffer != buffer || fill.count != count) {
        fillAttributes(buffer, count);
        return;
    }
    fillChunks(fill);
    // Joining also makes every worker's writes visible to this thread.
    for (unsigned i = 0; i < fill.workers; ++i)
        if (fill.started[i]) pthread_join(fill.threads[i], nullptr);
    fill.workers = 0;
}

namespace {

// Doubles reordered as integers that grow with the value, -0 and +0 together.
int64_t orderedBits(double value) {
    int64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits < 0 ? INT64_MIN - bits : bits;
}

}  // namespace

uint64_t ulpDistance(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return UINT64_MAX;
    const int64_t x = orderedBits(a);
    const int64_t y = orderedBits(b);
    return x > y ? uint64_t(x) - uint64_t(y) : uint64_t(y) - uint64_t(x);
}

double* provisionAttributeBuffer(bool hugePages) {
    if (!hugePages) {
        void* mapped = mmap(nullptr, attributeBytes, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return mapped == MAP_FAILED ? nullptr : static_cast<double*>(mapped);
    }
    // One huge page of slack lets the buffer start on a huge-page boundary
    // whatever address the kernel picks; the slack is handed back at once.
    const size_t hugePage = size_t(1) << 21;
    const size_t span = attributeBytes + hugePage;
    void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    char* raw = static_cast<char*>(mapped);
    char* start = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(raw) + hugePage - 1) &
                                          ~uintptr_t(hugePage - 1));
    const size_t head = size_t(start - raw);
    const size_t tail = span - head - attributeBytes;
    if (head != 0) munmap(raw, head);
    if (tail != 0) munmap(start + attributeBytes, tail);
#ifdef MADV_HUGEPAGE
    // Advice only: a kernel without transparent huge pages still gives small
    // pages.
    madvise(start, attributeBytes, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<double*>(start);
}

double indexCountForStep(double s) {
    const double count = s * 3600 + 3600;
    return count < maxIndexCount ? count : maxIndexCount;
}
