#include <gtest/gtest.h>

#include "analysis/frame_tails.h"

namespace {

const TailFigureSpec& spec(const std::string& key) {
    for (const TailFigureSpec& s : tailFigures)
        if (key == s.key) return s;
    throw std::runtime_error("no tail figure " + key);
}

// n frames of `base` seconds, the last ones replaced by `slow`.
std::vector<double> frames(size_t n, double base, std::vector<double> slow) {
    std::vector<double> out(n, base);
    for (size_t i = 0; i < slow.size(); ++i) out[n - 1 - i] = slow[i];
    return out;
}

}  // namespace

TEST(FrameTails, FollowTheirStatedDefinitions) {
    // 200 frames, the slowest two 0.1 s and 0.3 s: the 1% low is their count
    // over their time, 2 / 0.4 s, not the mean of their rates (6.67).
    const std::vector<double> run = frames(200, 0.01, {0.1, 0.3});
    EXPECT_DOUBLE_EQ(tailValue(spec("low1PercentFramesPerSecond"), run).value, 5.0);
    // p99 of 200 values: between the 198th and 199th smallest (0.01, 0.1).
    EXPECT_NEAR(tailValue(spec("p99FrameSeconds"), run).value, 0.01 + 0.09 * 0.01, 1e-12);
    // Not a number is no frame; order does not matter.
    std::vector<double> shuffled = run;
    std::swap(shuffled.front(), shuffled.back());
    shuffled.push_back(NAN);
    EXPECT_DOUBLE_EQ(tailValue(spec("low1PercentFramesPerSecond"), shuffled).value, 5.0);
    // 0.1% of 1,000 frames is the slowest one alone.
    EXPECT_DOUBLE_EQ(tailValue(spec("low01PercentFramesPerSecond"), frames(1000, 0.01, {0.5, 0.2})).value, 2.0);
}

TEST(FrameTails, AbsentWithTheReasonWhenTheRunIsTooShort) {
    const TailValue p99 = tailValue(spec("p99FrameSeconds"), frames(99, 0.01, {}));
    EXPECT_TRUE(std::isnan(p99.value));
    EXPECT_EQ(p99.absent, "needs at least 100 frames; the run has 99");
    const TailValue low = tailValue(spec("low01PercentFramesPerSecond"), frames(999, 0.01, {}));
    EXPECT_EQ(low.absent, "needs at least 1000 frames; the run has 999");
    EXPECT_TRUE(tailValue(spec("low1PercentFramesPerSecond"), frames(100, 0.01, {0.1})).absent.empty());
}

TEST(FrameTails, IntervalOnlyWhereTheTailHoldsEnoughFrames) {
    BootstrapOptions options;
    options.resamples = 200;
    const TailFigureSpec& low = spec("low1PercentFramesPerSecond");
    // B's slowest 1% take twice as long: its 1% low is half A's.
    RunSamples a, b;
    for (int r = 0; r < 3; ++r) {
        std::vector<double> slowA(10 + r, 0.05), slowB(10 + r, 0.1);
        a.push_back(frames(1000 + 100 * size_t(r), 0.01, slowA));
        b.push_back(frames(1000 + 100 * size_t(r), 0.01, slowB));
    }
    std::string why;
    const Interval sound = tailRatioInterval(low, a, b, options, why);
    EXPECT_EQ(why, "");
    EXPECT_NEAR(sound.estimate, 0.5, 1e-12);
    EXPECT_LE(sound.low, sound.estimate);
    EXPECT_GE(sound.high, sound.estimate);
    EXPECT_LT(sound.high, 1.0);
    EXPECT_EQ(verdictFor(sound, Direction::higherIsBetter), Verdict::slower);

    // 500 frames a run: a ratio, but no interval, and the reason.
    a[0].resize(500);
    const Interval unsound = tailRatioInterval(low, a, b, options, why);
    EXPECT_TRUE(std::isfinite(unsound.estimate));
    EXPECT_TRUE(std::isnan(unsound.low));
    EXPECT_NE(why.find("a run has 500 frames, fewer than the 1000"), std::string::npos) << why;
    // Fewer than the tail needs at all: nothing.
    a[0].resize(50);
    EXPECT_TRUE(std::isnan(tailRatioInterval(low, a, b, options, why).estimate));
    EXPECT_EQ(why, "needs at least 100 frames in every run");
}
