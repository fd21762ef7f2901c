#include <gtest/gtest.h>

#include <cmath>

#include "analysis/bisect_judgement.h"

namespace {

// A run of `frames` samples spread ±2% around the level.
std::vector<double> run(double level, int frames = 6) {
    std::vector<double> samples;
    for (int i = 0; i < frames; ++i) samples.push_back(level * (1 + 0.02 * (i % 3 - 1)));
    return samples;
}

RunSamples runs(std::initializer_list<double> levels) {
    RunSamples out;
    for (double level : levels) out.push_back(run(level));
    return out;
}

// A rate that fell by 30% between the ends, measured with the usual
// spread between runs.
const RunSamples good = runs({100, 103, 98});
const RunSamples bad = runs({70, 72, 69});
const Direction rate = Direction::higherIsBetter;

Mark markOf(const RunSamples& revision) { return judgeRevision(good, bad, revision, rate, Verdict::slower).mark; }

TEST(BisectJudgement, EndsDifferOnlyWhenTheirIntervalSaysSo) {
    const EndsJudgement differ = judgeEnds(good, bad, rate);
    EXPECT_EQ(differ.change, Verdict::slower);
    EXPECT_NEAR(differ.ratio.estimate, 0.7, 0.01);
    EXPECT_LT(differ.ratio.high, 1);
    EXPECT_NEAR(differ.good.estimate, 100, 0.5);

    // Runs as far apart between themselves as the ends are: nothing to bisect.
    EXPECT_EQ(judgeEnds(runs({100, 70, 100}), runs({72, 100, 99}), rate).change, Verdict::noClearDifference);
    // Times that grew are slower too: the direction comes from the figure.
    EXPECT_EQ(judgeEnds(runs({1.0, 1.02, 0.99}), runs({1.4, 1.42, 1.39}), Direction::lowerIsBetter).change,
              Verdict::slower);
}

TEST(BisectJudgement, ARevisionIsMarkedByTheEndItIsLike) {
    EXPECT_EQ(markOf(runs({101, 99, 102})), Mark::good);
    EXPECT_EQ(markOf(runs({71, 69, 70})), Mark::bad);
    // Faster than the good end is still not the change being looked for.
    EXPECT_EQ(markOf(runs({120, 118, 121})), Mark::good);
    // Half the change is in: this commit is where it starts.
    EXPECT_EQ(markOf(runs({85, 86, 84})), Mark::bad);
    // Runs all over the range tell nothing.
    EXPECT_EQ(markOf(runs({100, 70, 85})), Mark::undecided);

    // Nothing is bad when the ends did not differ.
    EXPECT_EQ(judgeRevision(good, bad, runs({70, 70, 70}), rate, Verdict::noClearDifference).mark, Mark::undecided);
}

TEST(BisectJudgement, NoStepRestsOnOneRun) {
    // Among three runs like the bad end and one like the good, the interval
    // on all four just says bad; with any one of the three left out it no
    // longer does: that one run decides, so more runs are needed.
    const RevisionJudgement split = judgeRevision(good, bad, runs({100, 70, 71, 69}), rate, Verdict::slower);
    EXPECT_EQ(split.mark, Mark::undecided);
    EXPECT_TRUE(split.restsOnOneRun);
    // A fourth that agrees settles it, the odd run still among them.
    EXPECT_EQ(markOf(runs({100, 70, 71, 69, 70})), Mark::bad);

    // A single run can only be judged by its frames: it is, but never
    // reported as resting on one run, having nothing to leave out.
    const RevisionJudgement single = judgeRevision(good, bad, runs({70}), rate, Verdict::slower);
    EXPECT_EQ(single.mark, Mark::bad);
    EXPECT_FALSE(single.restsOnOneRun);
}

TEST(BisectJudgement, TheCulpritIsConfirmedAgainstItsParentOnlyWhenItMovedAsTheEndsDid) {
    const RunSamples parent = runs({100, 101, 99, 102, 100, 98});
    const Confirmation confirmed = confirmCulprit(parent, runs({70, 71, 69, 70, 72, 70}), rate, Verdict::slower);
    EXPECT_TRUE(confirmed.confirmed);
    EXPECT_EQ(confirmed.verdict, Verdict::slower);
    EXPECT_NEAR(confirmed.ratio.estimate, 0.7, 0.01);

    EXPECT_FALSE(confirmCulprit(parent, runs({100, 99, 101, 100, 102, 98}), rate, Verdict::slower).confirmed);
    // Moved, but the other way: not the culprit of this change.
    EXPECT_FALSE(confirmCulprit(parent, runs({130, 131, 129, 130, 132, 130}), rate, Verdict::slower).confirmed);
    // One parent run as slow as the culprit: the difference rests on the others' luck.
    const Confirmation lucky = confirmCulprit(runs({100, 70}), runs({70, 71}), rate, Verdict::slower);
    EXPECT_FALSE(lucky.confirmed);
}

TEST(BisectJudgement, TheShareOfTheChangeIsTakenOnTheLogarithmicScale) {
    EXPECT_DOUBLE_EQ(culpritShare(0.7, 0.7), 1);
    // Two commits of 0.85 each make 0.7225: each explains half.
    EXPECT_NEAR(culpritShare(0.85, 0.85 * 0.85), 0.5, 1e-12);
    EXPECT_LT(culpritShare(0.9, 0.7), wholeCulpritShare);
    // Slower times (ratio above 1) compose the same way.
    EXPECT_NEAR(culpritShare(1.2, 1.44), 0.5, 1e-12);
    EXPECT_TRUE(std::isnan(culpritShare(0.9, 1.0)));
    EXPECT_TRUE(std::isnan(culpritShare(NAN, 0.7)));
    EXPECT_TRUE(std::isnan(culpritShare(0.9, -1)));
}

}  // namespace
