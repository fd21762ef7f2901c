#include "store/frame_columns.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace {

uint64_t bitsOf(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Every value comes back to the bit, whatever it is, and the packing is the
// same on every machine: a store moved between hosts must read the same.
TEST(FrameColumns, KeepEveryValueToTheBitInAFixedLayout) {
    ResultsRun run;
    run.frames = {Frame{7, 1, 1200, 4.06, 0.246305, 295.567},
                  Frame{13, -2, NAN, -0.0, INFINITY, -INFINITY},
                  Frame{2147483647, 1L << 40, 5e-324, 1.7976931348623157e308, std::nan("7"), 1.0}};
    run.kernels.resize(3);
    run.kernels[1] = {KernelBlock{20, 1, 5.734, 23.4073}};
    const std::vector<FrameColumns> packed = packFrames(run);
    ASSERT_EQ(packed.size(), 2u);
    EXPECT_EQ((std::vector<int>{packed[0].kernel, packed[0].count, packed[1].kernel, packed[1].count}),
              (std::vector<int>{-1, 3, 1, 1}));
    EXPECT_TRUE(packed[1].triangles.empty() && packed[1].anglesPerSecond.empty());
    // 1.0 is 0x3ff0000000000000, least significant byte first.
    EXPECT_EQ(packed[0].rate.substr(16), std::string("\0\0\0\0\0\0\xf0\x3f", 8));
    EXPECT_EQ(packed[0].firstLine.substr(0, 4), std::string("\x07\0\0\0", 4));

    // Unpacked into a run of a program whose frames have steps: each
    // frame's step comes back from its count, as the reader gave it.
    ResultsRun back;
    back.program = findProgram("triangles");
    back.kernels.resize(3);
    std::string error;
    for (const FrameColumns& c : packed) ASSERT_TRUE(unpackFrames(c, back, error)) << error;
    ASSERT_EQ(back.frames.size(), 3u);
    EXPECT_EQ((std::vector<long>{back.frames[0].step, back.frames[1].step, back.frames[2].step}),
              (std::vector<long>{1, -1, -1}));
    for (size_t i = 0; i < 3; ++i) {
        const Frame &a = run.frames[i], &b = back.frames[i];
        EXPECT_EQ(std::make_pair(a.firstLine, a.window), std::make_pair(b.firstLine, b.window));
        for (auto field : {&Frame::triangles, &Frame::seconds, &Frame::anglesPerSecond, &Frame::rate})
            EXPECT_EQ(bitsOf(a.*field), bitsOf(b.*field)) << "frame " << i;
    }
    ASSERT_EQ(back.kernels[1].size(), 1u);
    EXPECT_EQ(back.kernels[1][0].millionsPerSecond, 23.4073);
    EXPECT_TRUE(back.kernels[0].empty() && back.kernels[2].empty());
}

TEST(FrameColumns, ADamagedRowIsRefusedAndLeavesTheRunAsItWas) {
    ResultsRun run;
    run.frames = {Frame{7, 1, 1200, 4.06, 0.25, 295.5}, Frame{12, 1, 1800, 5.2, 0.19, 344.8}};
    FrameColumns cut = packFrames(run)[0];
    cut.seconds.pop_back();
    FrameColumns unknown = packFrames(run)[0];
    unknown.kernel = 3;
    FrameColumns negative = packFrames(run)[0];
    negative.count = -1;
    for (const FrameColumns& damaged : {cut, unknown, negative}) {
        ResultsRun back;
        std::string error;
        EXPECT_FALSE(unpackFrames(damaged, back, error));
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(back.frames.empty());
    }
}

}  // namespace
