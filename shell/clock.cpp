#include "clock.h"

#include <ctime>

#include "startup_order.h"

namespace {

int64_t monotonicMillis() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int64_t processStartMillis = 0;

__attribute__((constructor(clockOriginPriority))) void markProcessStart() { processStartMillis = monotonicMillis(); }

}  // namespace

int32_t clockTicks() {
    // Wraps like a 32-bit counter would; differences stay right across the wrap.
    return int32_t(uint32_t(uint64_t(monotonicMillis() - processStartMillis)));
}

int32_t ticksBetween(int32_t start, int32_t end) {
    return int32_t(uint32_t(end) - uint32_t(start));
}
