#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <unistd.h>

#include "report.h"

namespace {

std::string number(double value) {
    char out[64];
    formatNumber(out, sizeof out, value);
    return out;
}

TEST(NumberFormat, SixSignificantDigitsLikeTheDefaultStream) {
    EXPECT_EQ(number(0.25), "0.25");
    EXPECT_EQ(number(4.0), "4");
    EXPECT_EQ(number(12.345), "12.345");
    EXPECT_EQ(number(100 / 12.345), "8.10045");
    EXPECT_EQ(number(16777216.0 / 0.25), "6.71089e+07");
    EXPECT_EQ(number(600600.0), "600600");
    EXPECT_EQ(number(6000600.0), "6.0006e+06");
    EXPECT_EQ(number(0.0001), "0.0001");
    EXPECT_EQ(number(0.00001234), "1.234e-05");
    EXPECT_EQ(number(0.0), "0");
    EXPECT_EQ(number(-0.4161468), "-0.416147");
}

TEST(NumberFormat, InfinityAndNotANumberReadTheSameEverywhere) {
    const double zero = 0.0;
    EXPECT_EQ(number(1.0 / zero), "inf");
    EXPECT_EQ(number(-1.0 / zero), "-inf");
    EXPECT_EQ(number(zero / zero), "-nan(ind)");
    EXPECT_EQ(number(std::numeric_limits<double>::quiet_NaN()), "-nan(ind)");
    EXPECT_EQ(number(-std::numeric_limits<double>::quiet_NaN()), "-nan(ind)");
}

TEST(ReportLine, KeepsEveryBlankOfPrefixAndSuffix) {
    char line[reportLineCapacity];
    formatNumberLine(line, "Total running time:  ", 12.345, " Secs. ");
    EXPECT_STREQ(line, "Total running time:  12.345 Secs. ");
    formatIntegerLine(line, "window: ", -3);
    EXPECT_STREQ(line, "window: -3");
}

TEST(ReportLine, EachLineIsOnDiskBeforeTheNextIsWritten) {
    char path[] = "/tmp/lumenfold-sinkXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    FILE* sink = fdopen(fd, "w");
    ASSERT_NE(sink, nullptr);

    writeLineTo(sink, "first");
    writeLineTo(sink, "");
    // Read through a second handle while the sink is still open: nothing may
    // wait in the sink's buffer.
    FILE* reader = fopen(path, "r");
    ASSERT_NE(reader, nullptr);
    char content[64] = {};
    size_t got = fread(content, 1, sizeof content - 1, reader);
    EXPECT_EQ(std::string(content, got), "first\n\n");
    fclose(reader);
    fclose(sink);
    unlink(path);

    writeLineTo(nullptr, "dropped without harm");
}

}  // namespace
