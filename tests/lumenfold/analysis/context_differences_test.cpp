#include <gtest/gtest.h>

#include "analysis/context_differences.h"

namespace {

RunConditions conditions(const std::string& renderer, const std::string& release,
                         const std::map<std::string, std::string>& environment) {
    RunContext c;
    c.gl.renderer = renderer;
    c.gl.version = "4.5 (Compatibility Profile) Mesa 22.3.6";
    c.cpu.model = "AMD EPYC 7B13";
    c.kernel = RunContext::Kernel{"Linux", release, "#1 SMP", "x86_64"};
    c.version = "0.4.0";
    c.environment = environment;
    return conditionFacts(c);
}

TEST(ContextDifferences, NamesEachDifferenceWithBothSidesValues) {
    const std::string llvm15 = "llvmpipe (LLVM 15.0.6, 256 bits)";
    const std::vector<RunConditions> a = {conditions(llvm15, "6.1.0", {{"vblank_mode", "0"}}),
                                          conditions(llvm15, "6.1.0", {{"vblank_mode", "0"}}),
                                          conditions(llvm15, "6.5.0", {{"vblank_mode", "0"}})};
    const std::vector<RunConditions> b = {
        conditions("llvmpipe (LLVM 16.0.6, 256 bits)", "6.1.0", {{"vblank_mode", "0"}, {"mesa_glthread", "true"}})};
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
    // second value or drive the terminal; a context without a kernel or a
    // version has them as not recorded rather than an error.
    const std::vector<RunConditions> a = {conditions("x\" / \"y\x1b[2J", "6.1.0", {})};
    const std::vector<RunConditions> b = {conditionFacts(RunContext{})};
    const std::vector<ConditionDifference> found = conditionDifferences(a, b);
    ASSERT_EQ(found.size(), 5u);
    EXPECT_EQ(found[0].line, "the sides differ in: GL renderer \"x\\\" / \\\"y\\x1b[2J\" / \"unknown\"");
    EXPECT_EQ(found[2].line, "the sides differ in: kernel \"Linux 6.1.0 #1 SMP x86_64\" / not recorded");
    EXPECT_EQ(found[4].line, "the sides differ in: Lumenfold version \"0.4.0\" / not recorded");
}

}  // namespace
