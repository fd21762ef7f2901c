#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "timing/query_ring.h"
#include "timing/swap_records.h"

namespace {

// A driver that answers as told, and remembers any read it should not have had.
struct FakeDriver {
    std::map<unsigned, uint64_t> ready;  // query name -> its result, once there
    unsigned active = 0;
    bool disjointFlag = false;
    long long clock = 1000;
    std::vector<unsigned> begun;
    int unreadyReads = 0;
    int beginsWhileActive = 0;
};
FakeDriver driver;

QueryCalls fakeCalls(bool withDisjoint) {
    QueryCalls c;
    c.generate = [](int count, unsigned* names) {
        for (int i = 0; i < count; ++i) names[i] = unsigned(100 + i);
    };
    c.begin = [](unsigned name) {
        if (driver.active != 0) ++driver.beginsWhileActive;
        driver.active = name;
        driver.ready.erase(name);
        driver.begun.push_back(name);
    };
    c.end = [] { driver.active = 0; };
    c.available = [](unsigned name) { return driver.ready.count(name) != 0; };
    c.result = [](unsigned name) {
        if (driver.ready.count(name) == 0) ++driver.unreadyReads;
        return driver.ready[name];
    };
    c.now = [] { return driver.clock; };
    if (withDisjoint)
        c.disjoint = [] {
            const bool was = driver.disjointFlag;
            driver.disjointFlag = false;
            return was;
        };
    return c;
}

struct RingTest : ::testing::Test {
    void SetUp() override { driver = FakeDriver(); }

    // One swap as the library makes it: end, collect, begin the next.
    std::vector<GpuResult> swap(QueryRing& ring, long long index) {
        GpuResult out[2 * QueryRing::maxResults];
        ring.end();
        driver.clock += 1000000;
        int count = ring.collect(out);
        count += ring.begin(index + 1, out + count);
        return std::vector<GpuResult>(out, out + count);
    }
};

TEST_F(RingTest, ResultsComeInOrderOnceReadyAndAreNeverWaitedFor) {
    QueryRing ring;
    ring.start(fakeCalls(false));
    GpuResult none[1];
    EXPECT_EQ(ring.begin(1, none), 0);
    EXPECT_TRUE(swap(ring, 1).empty());  // not ready: nothing, and no wait
    EXPECT_TRUE(swap(ring, 2).empty());
    // The second query is ready before the first: it still waits its turn.
    driver.ready[101] = 300;
    EXPECT_TRUE(swap(ring, 3).empty());
    driver.ready[100] = 200;
    const std::vector<GpuResult> got = swap(ring, 4);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].swap, 1);
    EXPECT_EQ(got[0].ns, 200u);
    EXPECT_EQ(got[1].swap, 2);
    EXPECT_EQ(got[1].outcome, GpuOutcome::time);
    EXPECT_EQ(driver.unreadyReads, 0);
    EXPECT_EQ(driver.beginsWhileActive, 0);
}

TEST_F(RingTest, AResultStillMissingWhenItsQueryIsNeededAgainIsGivenUp) {
    QueryRing ring;
    ring.start(fakeCalls(false));
    GpuResult none[1];
    ring.begin(1, none);
    std::vector<GpuResult> given;
    for (long long s = 1; s <= 10; ++s)
        for (const GpuResult& r : swap(ring, s)) given.push_back(r);
    // Eight queries in flight: from swap 8 on, each begin gives up the oldest.
    ASSERT_EQ(given.size(), 3u);
    for (size_t i = 0; i < given.size(); ++i) {
        EXPECT_EQ(given[i].swap, long(i) + 1);
        EXPECT_EQ(given[i].outcome, GpuOutcome::overrun);
    }
    // The query object reused is the one given up, and its old result is gone.
    EXPECT_EQ(driver.begun[8], driver.begun[0]);
    driver.ready[driver.begun[3]] = 5;
    const std::vector<GpuResult> next = swap(ring, 11);
    ASSERT_FALSE(next.empty());
    EXPECT_EQ(next[0].swap, 4);
    EXPECT_EQ(next[0].outcome, GpuOutcome::time);
    EXPECT_EQ(driver.unreadyReads, 0);
}

TEST_F(RingTest, ADisjointEventVoidsEveryResultNotYetTaken) {
    QueryRing ring;
    ring.start(fakeCalls(true));
    GpuResult none[1];
    ring.begin(1, none);
    swap(ring, 1);
    driver.ready[100] = 10;
    driver.disjointFlag = true;
    const std::vector<GpuResult> got = swap(ring, 2);
    ASSERT_EQ(got.size(), 2u);  // the ready one and the one not ready alike
    EXPECT_EQ(got[0].outcome, GpuOutcome::disjoint);
    EXPECT_EQ(got[1].outcome, GpuOutcome::disjoint);
    EXPECT_EQ(got[1].swap, 2);
    driver.ready[102] = 10;
    const std::vector<GpuResult> after = swap(ring, 3);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].outcome, GpuOutcome::time);
}

TEST_F(RingTest, AnAbandonedQueryIsNeverReported) {
    QueryRing ring;
    ring.start(fakeCalls(false));
    GpuResult out[QueryRing::maxResults];
    ring.begin(1, out);
    ring.abandon();  // the program leaves the context before swap 1
    EXPECT_FALSE(ring.open());
    EXPECT_EQ(driver.active, 0u);
    driver.ready[100] = 5;
    EXPECT_EQ(ring.collect(out), 0);
    ring.begin(2, out);
    EXPECT_EQ(driver.begun.back(), 100u);  // its query object is free again
    driver.clock += 10;
    ring.end();
    driver.ready[100] = 7;
    ASSERT_EQ(ring.collect(out), 1);
    EXPECT_EQ(out[0].swap, 2);
    EXPECT_EQ(out[0].ns, 7u);
}

TEST_F(RingTest, AResultLongerThanItsSpanIsNotANumber) {
    QueryRing ring;
    ring.start(fakeCalls(false));
    GpuResult none[1];
    ring.begin(1, none);  // at 1 ms
    driver.ready[100] = 1000001;  // the swap comes 1 ms later
    std::vector<GpuResult> got = swap(ring, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].outcome, GpuOutcome::impossible);
    driver.ready[101] = 1000000;
    got = swap(ring, 2);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].outcome, GpuOutcome::time);
}

TEST(SwapSteps, StepsComeFromTheRotationOrFromTheClears) {
    // triangles and cube: step 1, step 2, an expose redrawing step 2, step 3.
    SwapSteps turned;
    std::vector<std::pair<long, SwapKind>> seen;
    for (double step : {1.0, 2.0, 2.0, 3.0}) {
        turned.cleared();
        turned.rotated(7.5);  // not a step's angle: the overlay's own turn, say
        turned.rotated(step + 45.0);
        const SwapSteps::Swap swap = turned.swapped();
        seen.emplace_back(swap.step, swap.kind);
    }
    const std::vector<std::pair<long, SwapKind>> expected = {
        {1, SwapKind::newStep}, {2, SwapKind::newStep}, {2, SwapKind::redraw}, {3, SwapKind::newStep}};
    EXPECT_EQ(seen, expected);

    // streaming: a clear and a swap, then three kernel blocks' swaps, twice.
    SwapSteps counted;
    seen.clear();
    for (int frame = 0; frame < 2; ++frame) {
        counted.cleared();
        for (int s = 0; s < 4; ++s) {
            const SwapSteps::Swap swap = counted.swapped();
            seen.emplace_back(swap.step, swap.kind);
        }
    }
    ASSERT_EQ(seen.size(), 8u);
    EXPECT_EQ(seen[0], std::make_pair(1L, SwapKind::newStep));
    EXPECT_EQ(seen[3], std::make_pair(1L, SwapKind::more));
    EXPECT_EQ(seen[4], std::make_pair(2L, SwapKind::newStep));
    EXPECT_EQ(seen[7], std::make_pair(2L, SwapKind::more));
}

}  // namespace
