#include <gtest/gtest.h>

#include <cstdlib>

#include "common/time_text.h"

namespace {

// Runs the checks in a time zone, and puts the user's back.
class InZone {
public:
    explicit InZone(const char* zone) {
        const char* saved = getenv("TZ");
        had_ = saved != nullptr;
        if (had_) saved_ = saved;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~InZone() {
        if (had_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string saved_;
};

TEST(TimeText, LocalTimesCarryTheirOffsetAndReadBack) {
    const time_t when = 86400 * 365 + 3661;   // 1971-01-01 01:01:01 UTC
    long long seconds = 0;
    {
        InZone zone("EST5");
        EXPECT_EQ(isoLocalTime(when), "1970-12-31T20:01:01-05:00");
        EXPECT_EQ(dateStamp(when), "19701231-200101");
        ASSERT_TRUE(parseIsoTime(isoLocalTime(when), seconds));
        EXPECT_EQ(seconds, when);
    }
    {
        InZone zone("IST-5:30");
        EXPECT_EQ(isoLocalTime(when), "1971-01-01T06:31:01+05:30");
        EXPECT_EQ(isoUtcTime(when), "1971-01-01T01:01:01Z");
        ASSERT_TRUE(parseIsoTime(isoLocalTime(when), seconds));
        EXPECT_EQ(seconds, when);
    }
}

TEST(TimeText, OnlyIsoTimesWithAnOffsetParse) {
    long long seconds = 0;
    ASSERT_TRUE(parseIsoTime("2026-12-07T14:05:09+01:00", seconds));
    EXPECT_EQ(seconds, 1796648709LL);
    ASSERT_TRUE(parseIsoTime("2026-12-07T13:05:09Z", seconds));
    EXPECT_EQ(seconds, 1796648709LL);
    for (const char* bad : {"2026-12-07 13:05:09Z", "2026-13-07T13:05:09Z", "2026-12-07T13:05:09+0100",
                            "2026-12-07T13:05:09", ""})
        EXPECT_FALSE(parseIsoTime(bad, seconds)) << bad;
}

}  // namespace
