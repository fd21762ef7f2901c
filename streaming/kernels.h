#pragma once
#include <cstdint>

#include "text_format.h"

// The step counter of streaming: starts at 1, advanced by the idle callback
// only. The float and integer kernels read it once per call, so tests set it
// directly before calling them.
extern uint64_t stepCounter;

constexpr uint64_t streamIterations = streamingKernelIterations;
constexpr uint64_t streamLength = 4096;
constexpr uint64_t streamIndexMask = 0xFFF;

// Static, zero at start, never reset: each frame carries on from what the
// previous one left.
extern double floatStreamData[streamLength];
extern int64_t integerStreamData[streamLength];
extern bool logicStreamData[streamLength];

// 1 / n in unsigned 64-bit arithmetic, as a double: 1.0 at n = 1, 0.0 after.
double stepExponent(uint64_t n);

// sin(sqrt(n * n) * 90.0) * log(11.0), the square taken modulo 2^64.
double stepOffset(uint64_t n);

// Truncation toward zero; NaN and every value outside [-2^63, 2^63) give
// INT64_MIN, without relying on what the processor happens to do.
int64_t truncateToInt64(double v);

// Each runs streamIterations iterations over its own array; they print
// nothing and make no GL call.
void floatStream();
void integerStream();
void logicStream();
