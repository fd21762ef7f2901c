#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <set>

#include "analysis/alerts.h"

namespace {

FoundChange change(const std::string& machine, const std::string& key, long long run, double before, double after) {
    FoundChange c;
    c.machine = machine;
    c.program = "cube";
    c.figure.key = key;
    c.figure.levelBefore = before;
    c.figure.levelAfter = after;
    c.firstRunAfter = run;
    c.firstRunAfterAt = 1'000'000 + run * 86400;
    return c;
}

// Runs 1..20 of one machine at positions 0..19; of another at 101..120.
RunPositions positions() {
    RunPositions p;
    for (long long run = 1; run <= 20; ++run) p[run] = long(run - 1), p[100 + run] = long(run - 1);
    return p;
}

}  // namespace

TEST(Alerts, AChangeIsRaisedOnceWithEveryFigureItShowsIn) {
    // Frame time and vertices/s moved at run 10: one alert listing both.
    const AlertUpdate first = applyFindings({}, {change("m", "frameSeconds", 10, 1.0, 1.2),
                                                 change("m", "verticesPerSecond", 10, 5e6, 4e6)}, positions(), 50);
    ASSERT_EQ(first.raised.size(), 1u);
    EXPECT_EQ(first.raised[0].figures.size(), 2u);
    EXPECT_EQ(first.raised[0].state, AlertState::fresh);

    // Found again, its place one run off as new runs sharpened it: the same alert.
    std::vector<Alert> known = first.raised;
    known[0].id = 7;
    known[0].state = AlertState::acknowledged;
    const AlertUpdate again = applyFindings(known, {change("m", "verticesPerSecond", 11, 5e6, 4e6),
                                                    change("m", "framesPerSecond", 10, 0.1, 0.08)}, positions(), 60);
    EXPECT_TRUE(again.raised.empty());
    ASSERT_EQ(again.extended.size(), 1u);
    EXPECT_EQ(again.extended[0].id, 7);
    EXPECT_EQ(again.extended[0].state, AlertState::acknowledged);
    EXPECT_EQ(again.extended[0].figures.back().key, "framesPerSecond");

    // Two runs off, or on another machine: a change of its own.
    EXPECT_EQ(applyFindings(known, {change("m", "verticesPerSecond", 12, 5e6, 4e6)}, positions(), 60).raised.size(), 1u);
    EXPECT_EQ(applyFindings(known, {change("n", "verticesPerSecond", 110, 5e6, 4e6)}, positions(), 60).raised.size(),
              1u);
}

TEST(Alerts, RecoveredByAReturnToTheOldLevelWithinTheNoiseFloor) {
    std::vector<Alert> known = applyFindings({}, {change("m", "verticesPerSecond", 5, 5e6, 4e6)}, positions(), 1).raised;
    known[0].id = 3;
    // Back to 0.5% of where it was: recovered, and no new alert for the return.
    const AlertUpdate back = applyFindings(known, {change("m", "verticesPerSecond", 15, 4e6, 4.975e6)}, positions(), 9);
    ASSERT_EQ(back.recovered.size(), 1u);
    EXPECT_EQ(back.recovered[0].state, AlertState::recovered);
    EXPECT_EQ(back.recovered[0].recoveredBy, 15);
    EXPECT_TRUE(back.raised.empty());
    // Back only part of the way: a new change, the alert stays.
    const AlertUpdate partway = applyFindings(known, {change("m", "verticesPerSecond", 15, 4e6, 4.6e6)}, positions(), 9);
    EXPECT_TRUE(partway.recovered.empty());
    EXPECT_EQ(partway.raised.size(), 1u);
    // An ignored alert is closed to everything, recovery included.
    known[0].state = AlertState::ignored;
    EXPECT_TRUE(applyFindings(known, {change("m", "verticesPerSecond", 15, 4e6, 4.975e6)}, positions(), 9)
                    .recovered.empty());
}

TEST(Alerts, GroupedAcrossMachinesWithinADayAndSilentMachinesFound) {
    std::vector<Alert> alerts(4);
    const char* machines[] = {"a", "b", "c", "a"};
    const long long at[] = {0, 3600, 2 * 86400, 3600};
    const char* keys[] = {"verticesPerSecond", "verticesPerSecond", "verticesPerSecond", "frameSeconds"};
    for (size_t i = 0; i < alerts.size(); ++i) {
        alerts[i].id = long(10 + i);
        alerts[i].machine = machines[i];
        alerts[i].program = "cube";
        alerts[i].firstRunAfterAt = at[i];
        alerts[i].figures.push_back(AlertFigure{keys[i], {}, "slower", 1, 2});
    }
    // a and b an hour apart share a group; c two days later and a's other
    // figure (same machine) stand alone.
    EXPECT_EQ(alertGroups(alerts), (std::vector<long long>{10, 10, 12, 13}));

    EXPECT_EQ(silentMachines({{"a", 1000}, {"b", 1000 - 40 * 3600}, {"c", 1000 - 36 * 3600}}, 1000, 36 * 3600.0),
              (std::vector<std::string>{"b"}));
    AlertState state;
    EXPECT_TRUE(alertStateFromName("acknowledged", state));
    EXPECT_EQ(state, AlertState::acknowledged);
    EXPECT_FALSE(alertStateFromName("open", state));
}

TEST(Alerts, GroupsOfAFleetAreThoseOfEveryPairCompared) {
    // Many alerts over a month: the groups are those that joining every
    // pair that qualifies gives, one pair at a time.
    std::mt19937_64 engine(3);
    std::vector<Alert> alerts(400);
    const char* keys[] = {"frameSeconds", "verticesPerSecond", "framesPerSecond", "setupSeconds"};
    for (size_t i = 0; i < alerts.size(); ++i) {
        Alert& a = alerts[i];
        a.id = long(1000 - i);
        a.kind = engine() % 10 == 0 ? "silent" : "change";
        a.machine = "m" + std::to_string(engine() % 40);
        a.program = engine() % 2 ? "cube" : "triangles";
        a.firstRunAfterAt = long(engine() % (30 * 86400));
        for (const char* key : keys)
            if (engine() % 3 == 0) a.figures.push_back(AlertFigure{key, {}, "slower", 1, 2});
    }
    std::vector<size_t> group(alerts.size());
    std::iota(group.begin(), group.end(), size_t(0));
    auto join = [&](size_t from, size_t to) {
        for (size_t& g : group)
            if (g == from) g = to;
    };
    for (size_t i = 0; i < alerts.size(); ++i)
        for (size_t j = 0; j < alerts.size(); ++j) {
            const Alert &a = alerts[i], &b = alerts[j];
            bool shared = false;
            for (const AlertFigure& f : a.figures)
                for (const AlertFigure& g : b.figures) shared |= f.key == g.key;
            if (a.kind == "change" && b.kind == "change" && a.machine != b.machine && a.program == b.program &&
                std::llabs(a.firstRunAfterAt - b.firstRunAfterAt) <= 86400 && shared)
                join(group[i], group[j]);
        }
    std::vector<long long> expected(alerts.size());
    for (size_t i = 0; i < alerts.size(); ++i) {
        expected[i] = alerts[i].id;
        for (size_t j = 0; j < alerts.size(); ++j)
            if (group[j] == group[i]) expected[i] = std::min(expected[i], alerts[j].id);
    }
    const std::vector<long long> got = alertGroups(alerts);
    EXPECT_EQ(got, expected);
    EXPECT_LT(std::set<long long>(got.begin(), got.end()).size(), alerts.size());   // some did join
}
