// Each streaming kernel against a plain reference loop of the same steps, in
// one process, from the same starting arrays, alternating so that a busy
// machine slows both alike. A kernel markedly faster than its reference is
// skipping work; markedly slower, it is adding some.
//
// Usage: streaming_bench [rounds]   (default 3; each round runs every kernel
// and every reference once at step 1 and once at step 2)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernels.h"
#include "reference.h"

namespace {

double secondsOf(void (*run)()) {
    const auto start = std::chrono::steady_clock::now();
    run();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(end - start).count();
}

uint64_t benchStep = 1;

void kernelFloat() { floatStream(); }
void kernelInteger() { integerStream(); }
void kernelLogic() { logicStream(); }
void plainFloat() { referenceFloat(benchStep); }
void plainInteger() { referenceInteger(benchStep); }
void plainLogic() { referenceLogic(); }

struct Pair {
    const char* name;
    void (*kernel)();
    void (*reference)();
    void* kernelData;
    void* referenceData;
    size_t bytes;
};

const Pair pairs[] = {
    {"float", kernelFloat, plainFloat, floatStreamData, referenceFloatData, sizeof floatStreamData},
    {"integer", kernelInteger, plainInteger, integerStreamData, referenceIntegerData,
     sizeof integerStreamData},
    {"logic", kernelLogic, plainLogic, logicStreamData, referenceLogicData, sizeof logicStreamData},
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    printf("%-8s %4s %12s %12s %8s %10s  %s\n", "kernel", "step", "kernel s", "reference s",
           "ratio", "M exec/s", "same result");

    // Step 1 from zeroed arrays is the first frame; step 2 on what step 1 left
    // is every running frame after it.
    unsigned char start[sizeof floatStreamData];
    unsigned char kernelResult[sizeof floatStreamData];
    bool allSame = true;
    for (const Pair& pair : pairs) {
        memset(start, 0, pair.bytes);
        for (uint64_t step : {uint64_t(1), uint64_t(2)}) {
            stepCounter = step;
            benchStep = step;
            double bestKernel = 1e300, bestReference = 1e300;
            bool same = true;
            for (int round = 0; round < rounds; ++round) {
                memcpy(pair.kernelData, start, pair.bytes);
                bestKernel = std::min(bestKernel, secondsOf(pair.kernel));
                memcpy(pair.referenceData, start, pair.bytes);
                bestReference = std::min(bestReference, secondsOf(pair.reference));
                same = same && memcmp(pair.kernelData, pair.referenceData, pair.bytes) == 0;
            }
            memcpy(kernelResult, pair.kernelData, pair.bytes);
            allSame = allSame && same;
            printf("%-8s %4llu %12.3f %12.3f %8.3f %10.1f  %s\n", pair.name,
                   (unsigned long long)step, bestKernel, bestReference, bestKernel / bestReference,
                   double(streamIterations) / bestKernel / 1e6, same ? "yes" : "NO");
            fflush(stdout);
            memcpy(start, kernelResult, pair.bytes);
        }
    }
    printf("best of %d rounds each; ratio = kernel time / reference time\n", rounds);
    return allSame ? 0 : 1;
}
