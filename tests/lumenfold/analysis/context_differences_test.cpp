#include <gtest/gtest.h>

#include "analysis/context_differences.h"

namespace {

nlohmann::json context(const std::string& renderer, const std::string& release, nlohmann::json environment) {
    return {{"gl", {{"vendor", "Mesa"}, {"renderer", renderer}, {"version", "4.5 (Compatibility Profile) Mesa 22.3.6"}}},
            {"cpu", {{"model", "AMD EPYC 7B13"}, {"logicalProcessors", 2}}},
            {"kernel", {{"name", "Linux"}, {"release", release}, {"version", "#1 SMP"}, {"machine", "x86_64"}}},
            {"version", "0.4.0"},
            {"environment", environment}};
}

TEST(ContextDifferences, NamesEachDifferenceWithBothSidesValues) {
    const std::string llvm15 = "llvmpipe (LLVM 15.0.6, 256 bits)";
    const std::vector<RunConditions> a = {
        conditionsOfContext(context(llvm15, "6.1.0", {{"vblank_mode", "0"}})),
        conditionsOfContext(context(llvm15, "6.1.0", {{"vblank_mode", "0"}})),
        conditionsOfContext(context(llvm15, "6.5.0", {{"vblank_mode", "0"}}))};
    const std::vector<RunConditions> b = {conditionsOfContext(
        context("llvmpipe (LLVM 16.0.6, 256 bits)", "6.1.0", {{"vblank_mode", "0"}, {"mesa_glthread", "true"}}))};
    std::vector<std::string> lines;
    for (const ConditionDifference& d : conditionDifferences(a, b)) lines.push_back(d.line);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "the sides differ in: GL renderer \"llvmpipe (LLVM 15.0.6, 256 bits)\" / "
                         "\"llvmpipe (LLVM 16.0.6, 256 bits)\"",
                         "the sides differ in: kernel \"Linux 6.1.0 #1 SMP x86_64\" (2 runs), "
                         "\"Linux 6.5.0 #1 SMP x86_64\" (1 run) / \"Linux 6.1.0 #1 SMP x86_64\"",
                         "the sides differ in: mesa_glthread unset / \"true\""}));

    // The same conditions on both sides, or no context on one: nothing.
    EXPECT_TRUE(conditionDifferences(b, b).empty());
    EXPECT_TRUE(conditionDifferences(a, {}).empty());
}

TEST(ContextDifferences, ValuesFromAFileAreShownSafely) {
    // A renderer string with a quote and an escape sequence cannot forge a
    // second value or drive the terminal; a context without a GL section
    // is not recorded rather than an error.
    const std::vector<RunConditions> a = {conditionsOfContext(context("x\" / \"y\x1b[2J", "6.1.0", {}))};
    const std::vector<RunConditions> b = {conditionsOfContext({{"version", "0.4.0"}})};
    const std::vector<ConditionDifference> found = conditionDifferences(a, b);
    ASSERT_GE(found.size(), 1u);
    EXPECT_EQ(found[0].line, "the sides differ in: GL renderer \"x\\\" / \\\"y\\x1b[2J\" / not recorded");
}

}  // namespace
