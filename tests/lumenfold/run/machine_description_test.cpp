#include <gtest/gtest.h>

#include "run/machine_description.h"

namespace {

TEST(MachineDescription, CoresAreCountedOncePerPhysicalCore) {
    const CpuInfo cpu = parseCpuInfo(
        "processor\t: 0\nmodel name\t: Example CPU 3000\nphysical id\t: 0\ncore id\t\t: 0\n\n"
        "processor\t: 1\nmodel name\t: Example CPU 3000\nphysical id\t: 0\ncore id\t\t: 0\n\n"
        "processor\t: 2\nmodel name\t: Example CPU 3000\nphysical id\t: 0\ncore id\t\t: 1\n\n"
        "processor\t: 3\nmodel name\t: Example CPU 3000\nphysical id\t: 1\ncore id\t\t: 0\n\n");
    EXPECT_EQ(cpu.model, "Example CPU 3000");
    EXPECT_EQ(cpu.logicalProcessors, 4);
    EXPECT_EQ(cpu.cores, 3);
}

// This machine through /proc and uname: what a context file records of it.
TEST(MachineDescription, ThisMachineHasAProcessorAndAKernel) {
    RunContext context;
    describeMachine(context);
    EXPECT_GT(context.cpu.logicalProcessors, 0);
    EXPECT_FALSE(context.cpu.model.empty());
    ASSERT_TRUE(context.kernel.has_value());
    EXPECT_EQ(context.kernel->name, "Linux");
    EXPECT_FALSE(context.kernel->release.empty());
}

}  // namespace
