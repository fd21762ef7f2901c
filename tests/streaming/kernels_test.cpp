// The kernels run for real here: each call is 2^27 iterations, about a second.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "kernels.h"

namespace {

constexpr double floatOffset = 5.28294562624475e269;
constexpr int64_t weightZeroAtStepOne = 4294967295;
constexpr int64_t weightOneAtStepTwo = -9223372032559808512;

uint64_t bitsOf(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

template <typename T>
int countOf(const T (&array)[streamLength], T value) {
    return int(std::count(std::begin(array), std::end(array), value));
}

void zeroArrays() {
    std::fill(std::begin(floatStreamData), std::end(floatStreamData), 0.0);
    std::fill(std::begin(integerStreamData), std::end(integerStreamData), 0);
    std::fill(std::begin(logicStreamData), std::end(logicStreamData), false);
}

TEST(StepValues, ExponentIsOneOnlyAtTheFirstStep) {
    EXPECT_EQ(stepExponent(1), 1.0);
    EXPECT_EQ(stepExponent(2), 0.0);
    EXPECT_EQ(stepExponent(3), 0.0);
    EXPECT_EQ(stepExponent(std::numeric_limits<uint64_t>::max()), 0.0);
    // A counter wrapped to 0 must not divide by zero.
    EXPECT_EQ(stepExponent(0), 0.0);
}

TEST(StepValues, OffsetFollowsTheSquareModulo2To64) {
    EXPECT_DOUBLE_EQ(stepOffset(1), 2.143710373545293);
    EXPECT_DOUBLE_EQ(stepOffset(2), -1.921080118016107);
    // 2^32 squared wraps to exactly 0, and sin(0) is 0.
    EXPECT_EQ(stepOffset(uint64_t(1) << 32), 0.0);
    // 2^32 + 1 squared wraps to 2^33 + 1, far from the unwrapped square.
    EXPECT_EQ(stepOffset((uint64_t(1) << 32) + 1),
              std::sin(std::sqrt(8589934593.0) * 90.0) * std::log(11.0));
    const double bound = std::log(11.0);
    for (uint64_t n : {uint64_t(3), uint64_t(1000), uint64_t(4294967295), uint64_t(1) << 40,
                       std::numeric_limits<uint64_t>::max()})
        EXPECT_LE(std::fabs(stepOffset(n)), bound) << n;
}

TEST(IntegerConversion, TruncatesInRangeAndGivesInt64MinForEverythingElse) {
    constexpr int64_t minimum = std::numeric_limits<int64_t>::min();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(truncateToInt64(2.9), 2);
    EXPECT_EQ(truncateToInt64(-2.9), -2);
    EXPECT_EQ(truncateToInt64(-0.5), 0);
    EXPECT_EQ(truncateToInt64(4294967298.0 - 2.143710373545293), weightZeroAtStepOne);
    // The largest double below 2^63 still converts; 2^63 itself does not.
    EXPECT_EQ(truncateToInt64(std::nextafter(9223372036854775808.0, 0.0)),
              int64_t(9223372036854774784));
    EXPECT_EQ(truncateToInt64(9223372036854775808.0), minimum);
    EXPECT_EQ(truncateToInt64(-9223372036854775808.0), minimum);
    EXPECT_EQ(truncateToInt64(std::nextafter(-9223372036854775808.0, -inf)), minimum);
    EXPECT_EQ(truncateToInt64(nan), minimum);
    EXPECT_EQ(truncateToInt64(-nan), minimum);
    EXPECT_EQ(truncateToInt64(inf), minimum);
    EXPECT_EQ(truncateToInt64(-inf), minimum);
    EXPECT_EQ(truncateToInt64(1e300), minimum);
}

// One call at step 1 from zero, then one at step 2 on what it left: the second
// call must wipe out NaNs and infinities alike.
TEST(FloatStream, StepOneFromZeroThenStepTwoOnTheResult) {
    zeroArrays();
    std::fill(std::begin(integerStreamData), std::end(integerStreamData), 7);
    stepCounter = 1;
    floatStream();

    int nans = 0, infinities = 0, finite = 0;
    double smallest = std::numeric_limits<double>::infinity();
    for (double v : floatStreamData) {
        if (std::isnan(v)) {
            ++nans;
        } else if (std::isinf(v)) {
            EXPECT_GT(v, 0);
            ++infinities;
        } else {
            ++finite;
            smallest = std::min(smallest, v);
        }
    }
    EXPECT_EQ(nans, 3026);
    EXPECT_EQ(infinities, 1023);
    EXPECT_EQ(finite, 47);
    EXPECT_EQ(smallest, floatOffset);
    EXPECT_EQ(floatStreamData[1], floatOffset);
    // 32,768 additions of the offset, each rounded in turn.
    EXPECT_EQ(floatStreamData[3], 1.731115622807874e274);
    EXPECT_EQ(countOf(integerStreamData, int64_t(7)), int(streamLength)) << "other arrays untouched";
    EXPECT_EQ(countOf(logicStreamData, true), 0);

    stepCounter = 2;
    floatStream();
    for (size_t k = 0; k < streamLength; ++k)
        ASSERT_EQ(bitsOf(floatStreamData[k]), 0x77F0000010000010u) << "entry " << k;
}

TEST(IntegerStream, StepOneFromZeroThenStepTwoOnTheResult) {
    zeroArrays();
    std::fill(std::begin(floatStreamData), std::end(floatStreamData), 0.5);
    stepCounter = 1;
    integerStream();
    constexpr int64_t minimum = std::numeric_limits<int64_t>::min();
    EXPECT_EQ(countOf(integerStreamData, weightZeroAtStepOne), 10);
    EXPECT_EQ(countOf(integerStreamData, minimum), 4086);
    // Entries 0 and 1 only ever meet weight 0.
    EXPECT_EQ(integerStreamData[0], weightZeroAtStepOne);
    EXPECT_EQ(integerStreamData[1], weightZeroAtStepOne);
    EXPECT_EQ(countOf(floatStreamData, 0.5), int(streamLength)) << "other arrays untouched";

    stepCounter = 2;
    integerStream();
    EXPECT_EQ(countOf(integerStreamData, int64_t(4294967299)), 10);
    EXPECT_EQ(countOf(integerStreamData, weightOneAtStepTwo), 5);
    EXPECT_EQ(countOf(integerStreamData, minimum), 4081);
}

TEST(LogicStream, SetsEveryEntryAndNothingElse) {
    zeroArrays();
    stepCounter = 1;
    logicStream();
    EXPECT_EQ(countOf(logicStreamData, true), int(streamLength));
    EXPECT_EQ(countOf(floatStreamData, 0.0), int(streamLength));
    EXPECT_EQ(countOf(integerStreamData, int64_t(0)), int(streamLength));
}

}  // namespace
