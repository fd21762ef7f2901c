#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "fill.h"

namespace {

// Integers below 2^26 closest to odd multiples of pi/2, where tan is largest
// (|tan| from 2e2 to 8.5e7), and to multiples of pi, where sin and tan are
// smallest: the arguments whose range reduction needs the most care.
const size_t nearTanPoles[] = {42781604, 37362253, 48200955, 31942902, 53620306,
                               26523551, 59039657, 21104200, 64459008, 573204, 11, 344, 699};
const size_t nearSinZeros[] = {5419351, 10838702, 16258053, 63885804, 21677404, 355, 104348};

// Runs of consecutive arguments: both ends of the buffer, a window around each
// argument above, and random runs across the whole range.
std::vector<std::pair<size_t, size_t>> sampleRuns() {
    std::vector<std::pair<size_t, size_t>> runs = {{0, 4096}, {attributeCount - 4096, 4096}};
    for (size_t k : nearTanPoles) runs.push_back({k - 8, 17});
    for (size_t k : nearSinZeros) runs.push_back({k - 8, 17});
    std::mt19937_64 random(20260607);
    std::uniform_int_distribution<size_t> start(0, attributeCount - 64);
    for (int i = 0; i < 4000; ++i) runs.push_back({start(random), 64});
    return runs;
}

std::vector<FillLevel> supportedLevels() {
    std::vector<FillLevel> levels;
    for (int level = 0; level < fillLevelCount; ++level) {
        if (fillLevelSupported(FillLevel(level))) levels.push_back(FillLevel(level));
    }
    return levels;
}

double ulpOf(double v) {
    v = std::fabs(v);
    return std::nextafter(v, INFINITY) - v;
}

// How far an element may stray from the plain loop's when each of its three
// function values is within 2 ulp of the C library's: the errors carried
// through the sum and the product, plus the rounding of each.
double elementTolerance(double c, double s, double t, double plain, double shipped) {
    const double sum = c + s;
    const double sumError = 2 * ulpOf(c) + 2 * ulpOf(s) + 2 * ulpOf(sum);
    return sumError * (std::fabs(t) + 2 * ulpOf(t)) + 2 * ulpOf(t) * std::fabs(sum) +
           ulpOf(plain) + ulpOf(shipped);
}

TEST(FillSample, ElementsAndIndexBytesOfTheShippedFill) {
    double elements[16];
    fillAttributes(elements, 16);

    EXPECT_EQ(elements[0], 0.0);
    EXPECT_FALSE(std::signbit(elements[0]));
    // Half a unit in the sixth significant digit of each quoted value.
    EXPECT_NEAR(elements[1], 2.15198, 5e-6);
    EXPECT_NEAR(elements[2], -1.07755, 5e-6);
    EXPECT_NEAR(elements[3], 0.121004, 5e-7);
    EXPECT_NEAR(elements[8], -5.73799, 5e-6);
    EXPECT_NEAR(elements[11], 224.949, 5e-4);

    unsigned char bytes[sizeof elements];
    std::memcpy(bytes, elements, sizeof bytes);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(bytes[i], 0) << "index " << i;
    EXPECT_EQ(bytes[14], 1);
    EXPECT_EQ(bytes[15], 64);
}

// A silent fall-back to a slower level would pass every accuracy check.
TEST(FillDispatch, ShippedFillRunsTheFastestSupportedLevel) {
    const FillLevel fastest = supportedLevels().back();
    EXPECT_EQ(bestFillLevel(), fastest) << fillLevelName(bestFillLevel());

    std::vector<double> shipped(4096), direct(4096);
    fillAttributes(shipped.data(), shipped.size());
    fillAttributesAt(fastest, direct.data(), 0, direct.size());
    EXPECT_EQ(std::memcmp(shipped.data(), direct.data(), shipped.size() * sizeof(double)), 0);
}

TEST(FillSample, ArgumentsChosenNearPolesAndZerosAreThere) {
    for (size_t k : nearTanPoles) EXPECT_LT(std::fabs(std::cos(double(k))), 5e-3) << k;
    for (size_t k : nearSinZeros) EXPECT_LT(std::fabs(std::sin(double(k))), 1e-4) << k;
}

// Every level gives the same bits as the careful evaluation, which the
// exhaustive test holds to MPFR: over the sample runs, where the arguments
// nearest the poles and zeros are, and over all of them at the fastest level
// against the portable one (which shares no vector code with it).
TEST(FillAccuracy, EveryLevelMatchesTheCarefulEvaluation) {
    const auto runs = sampleRuns();
    for (FillLevel level : supportedLevels()) {
        SCOPED_TRACE(fillLevelName(level));
        size_t mismatches = 0;
        std::vector<double> c, s, t;
        for (const auto& [first, count] : runs) {
            c.assign(count, 0.0), s.assign(count, 0.0), t.assign(count, 0.0);
            trigAt(level, first, count, c.data(), s.data(), t.data());
            for (size_t i = 0; i < count; ++i) {
                double pc, ps, pt;
                trigPrecise(double(first + i), &pc, &ps, &pt);
                const bool same = std::memcmp(&c[i], &pc, sizeof pc) == 0 &&
                                  std::memcmp(&s[i], &ps, sizeof ps) == 0 &&
                                  std::memcmp(&t[i], &pt, sizeof pt) == 0;
                if (!same && mismatches++ < 5) {
                    ADD_FAILURE() << "argument " << first + i << ": " << c[i] << " " << s[i]
                                  << " " << t[i] << " instead of " << pc << " " << ps << " " << pt;
                }
            }
        }
        EXPECT_EQ(mismatches, 0u);
    }
}

// The fill must combine exactly the values its functions give, in the stated
// order: (cos + sin) first, then times tan.
TEST(FillAccuracy, EveryLevelCombinesItsOwnFunctionValuesInOrder) {
    const auto runs = sampleRuns();
    for (FillLevel level : supportedLevels()) {
        SCOPED_TRACE(fillLevelName(level));
        size_t mismatches = 0;
        std::vector<double> c, s, t, filled;
        for (const auto& [first, count] : runs) {
            c.assign(count, 0.0), s.assign(count, 0.0), t.assign(count, 0.0);
            filled.assign(count, 0.0);
            trigAt(level, first, count, c.data(), s.data(), t.data());
            fillAttributesAt(level, filled.data(), first, count);
            for (size_t i = 0; i < count; ++i) {
                const double expected = (c[i] + s[i]) * t[i];
                if (std::memcmp(&expected, &filled[i], sizeof expected) != 0 && mismatches++ < 5) {
                    ADD_FAILURE() << "element " << first + i << ": " << filled[i]
                                  << " instead of " << expected;
                }
            }
        }
        EXPECT_EQ(mismatches, 0u);
    }
}

TEST(FillAccuracy, EveryLevelAgreesWithThePlainLoop) {
    const auto runs = sampleRuns();
    for (FillLevel level : supportedLevels()) {
        SCOPED_TRACE(fillLevelName(level));
        size_t outside = 0;
        std::vector<double> filled;
        for (const auto& [first, count] : runs) {
            filled.assign(count, 0.0);
            fillAttributesAt(level, filled.data(), first, count);
            for (size_t i = 0; i < count; ++i) {
                const double x = double(first + i);
                const double plain = attributeElement(first + i);
                const double tolerance =
                    elementTolerance(std::cos(x), std::sin(x), std::tan(x), plain, filled[i]);
                if (!(std::fabs(filled[i] - plain) <= tolerance) && outside++ < 5) {
                    ADD_FAILURE() << "element " << first + i << ": " << filled[i] << " against "
                                  << plain << ", tolerance " << tolerance;
                }
            }
        }
        EXPECT_EQ(outside, 0u);
    }
}

// Counts that are no multiple of the vector width, from starts that are not
// either: every element in range written, nothing past either end.
TEST(FillBounds, ShortRangesWriteExactlyTheirElements) {
    const double guard = -12345.5;
    for (FillLevel level : supportedLevels()) {
        SCOPED_TRACE(fillLevelName(level));
        for (size_t first : {size_t(0), size_t(3), size_t(7), attributeCount - 17}) {
            for (size_t count : {0, 1, 2, 3, 5, 8, 9, 15, 17}) {
                std::vector<double> buffer(count + 2, guard), c(count + 2, guard),
                    s(count + 2, guard), t(count + 2, guard);
                fillAttributesAt(level, buffer.data() + 1, first, count);
                trigAt(level, first, count, c.data() + 1, s.data() + 1, t.data() + 1);
                for (auto* v : {&buffer, &c, &s, &t}) {
                    EXPECT_EQ(v->front(), guard) << "first " << first << " count " << count;
                    EXPECT_EQ(v->back(), guard) << "first " << first << " count " << count;
                }
                for (size_t i = 0; i < count; ++i) {
                    const size_t k = first + i;
                    const double x = double(k), plain = attributeElement(k);
                    EXPECT_LE(std::fabs(buffer[i + 1] - plain),
                              elementTolerance(std::cos(x), std::sin(x), std::tan(x), plain,
                                               buffer[i + 1]))
                        << "element " << k;
                    EXPECT_LE(ulpDistance(t[i + 1], std::tan(x)), 2u) << "tan at " << k;
                }
            }
        }
    }
}

TEST(UlpDistance, CountsRepresentableDoublesBetween) {
    EXPECT_EQ(ulpDistance(1.0, 1.0), 0u);
    EXPECT_EQ(ulpDistance(1.0, std::nextafter(1.0, 2.0)), 1u);
    EXPECT_EQ(ulpDistance(std::nextafter(1.0, 0.0), std::nextafter(1.0, 2.0)), 2u);
    EXPECT_EQ(ulpDistance(0.0, -0.0), 0u);
    const double tiny = std::nextafter(0.0, 1.0);
    EXPECT_EQ(ulpDistance(-tiny, tiny), 2u);
    EXPECT_EQ(ulpDistance(-2.0, -1.0), ulpDistance(1.0, 2.0));
    EXPECT_EQ(ulpDistance(NAN, 1.0), UINT64_MAX);
}

// The whole buffer as the program gets it and fills it, written up to its
// last element; and the huge-page form starting on a huge-page boundary, or
// the kernel could not back it with huge pages.
TEST(FillProvision, WholeBufferFilledAsTheProgramDoes) {
    double* buffer = provisionAttributeBuffer(attributeHugePages);
    ASSERT_NE(buffer, nullptr);
    fillAttributes(buffer, attributeCount);
    for (size_t k : {size_t(0), size_t(1), size_t(11), attributeCount - 2, attributeCount - 1}) {
        const double x = double(k), plain = attributeElement(k);
        EXPECT_LE(std::fabs(buffer[k] - plain),
                  elementTolerance(std::cos(x), std::sin(x), std::tan(x), plain, buffer[k]))
            << "element " << k;
    }
    munmap(buffer, attributeBytes);

    double* huge = provisionAttributeBuffer(true);
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(huge) % (size_t(1) << 21), 0u);
    munmap(huge, attributeBytes);
}

}  // namespace
