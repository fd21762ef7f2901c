#include <gtest/gtest.h>

#include <cmath>

#include "scene.h"

namespace {

TEST(StepScene, FirstStepValues) {
    const StepSceneValues v = stepSceneValues(1.0);
    const double pi = std::acos(-1.0);
    EXPECT_EQ(v.invAtan, float(4.0 / pi));
    EXPECT_EQ(v.halfInvAtan, float(2.0 / pi));
    EXPECT_FLOAT_EQ(v.sine, 0.84147096f);
    EXPECT_FLOAT_EQ(v.halfSine, 0.42073548f);
    EXPECT_FLOAT_EQ(v.cosine, 0.5403023f);
    EXPECT_FLOAT_EQ(v.halfCosine, 0.27015114f);
    EXPECT_EQ(v.shininess, 1.0f);
}

// The vectors GL receives at step 2, from values worked out by hand:
// 1/atan(2) = 0.9032210, sin(2) = 0.9092974, cos(2) = -0.4161468 (negative,
// and handed over as it is), and their halves.
TEST(StepScene, VectorsAtStepTwo) {
    const StepSceneValues v = stepSceneValues(2.0);
    const float invAtan = 0.9032210f, halfInvAtan = 0.4516105f, sine = 0.9092974f,
                halfSine = 0.4546487f, cosine = -0.4161468f, halfCosine = -0.2080734f;
    const float position[4] = {invAtan, sine, cosine, 1};
    const float ambient[4] = {halfCosine, halfSine, halfInvAtan, 1};
    const float diffuse[4] = {halfInvAtan, halfSine, halfCosine, 1};
    const float emission[4] = {halfSine, halfInvAtan, halfCosine, 1};
    const float near = 1e-7f;
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(v.position[c], position[c], near) << c;
        EXPECT_NEAR(v.ambient[c], ambient[c], near) << c;
        EXPECT_NEAR(v.diffuse[c], diffuse[c], near) << c;
        EXPECT_NEAR(v.specular[c], diffuse[c], near) << c;
        EXPECT_NEAR(v.emission[c], emission[c], near) << c;
    }
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(v.spotDirection[c], position[c], near) << c;
    EXPECT_EQ(v.shininess, 2.0f);
}

TEST(StepScene, ShininessRepeatsEverySixtyFourSteps) {
    EXPECT_EQ(stepSceneValues(1).shininess, 1.0f);
    EXPECT_EQ(stepSceneValues(2).shininess, 2.0f);
    EXPECT_EQ(stepSceneValues(63).shininess, 63.0f);
    EXPECT_EQ(stepSceneValues(64).shininess, 0.0f);
    EXPECT_EQ(stepSceneValues(65).shininess, 1.0f);
    EXPECT_EQ(stepSceneValues(2147483647.0).shininess, 63.0f);
    // Beyond the 32-bit range the value still stays within what GL accepts.
    for (double s : {2147483648.0, 1e15, 9007199254740992.0}) {
        const float shininess = stepSceneValues(s).shininess;
        EXPECT_GE(shininess, 0.0f) << s;
        EXPECT_LE(shininess, 128.0f) << s;
    }
}

TEST(StepScene, LightStaysFiniteForEveryStep) {
    // atan(s) lies in [pi/4, pi/2) for every step: no division by zero.
    const double pi = std::acos(-1.0);
    for (double s : {1.0, 3.0, 1000.0, 149130.0, 1e12}) {
        const StepSceneValues v = stepSceneValues(s);
        EXPECT_GE(v.invAtan, float(2 / pi)) << s;
        EXPECT_LE(v.invAtan, float(4 / pi)) << s;
        EXPECT_GE(v.halfInvAtan, float(1 / pi)) << s;
        EXPECT_LE(v.halfInvAtan, float(2 / pi)) << s;
    }
}

TEST(OverlayGrey, FollowsTheStepAndPassesOneUnclamped) {
    EXPECT_EQ(overlayGreyForStep(1), 0.00390625f);
    EXPECT_EQ(overlayGreyForStep(128), 0.5f);
    EXPECT_EQ(overlayGreyForStep(256), 1.0f);
    EXPECT_EQ(overlayGreyForStep(512), 2.0f);
}

}  // namespace
