// Runs setupCube and one frame against the real driver and reads the state back.
// The set-up calls themselves, their arguments and their order are checked
// call for call in gl_calls_test.py; what is here is what a call trace does
// not show: the client arrays left pointing nowhere, the one list and its
// effect, and the state and figures a real frame leaves.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include "gl_window.h"
#include "shell.h"
#include "workload.h"

namespace {

class CubeSetup : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        windowId = openTestWindow("cube gl state", 1080, 1080);
        setupCube();
    }

    static GLint integer(GLenum name) {
        GLint value = -1;
        glGetIntegerv(name, &value);
        return value;
    }

    static void expectModelviewIdentity() {
        GLdouble m[16];
        glGetDoublev(GL_MODELVIEW_MATRIX, m);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 1.0 : 0.0) << i;
    }
};

TEST_F(CubeSetup, ClientArraysAreEnabledButPointNowhere) {
    EXPECT_TRUE(glIsEnabled(GL_COLOR_ARRAY));
    EXPECT_TRUE(glIsEnabled(GL_NORMAL_ARRAY));
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
    for (GLenum pointer : {GL_COLOR_ARRAY_POINTER, GL_NORMAL_ARRAY_POINTER, GL_VERTEX_ARRAY_POINTER}) {
        void* value = reinterpret_cast<void*>(1);
        glGetPointerv(pointer, &value);
        EXPECT_EQ(value, nullptr) << std::hex << pointer;
    }
    EXPECT_EQ(integer(GL_ARRAY_BUFFER_BINDING), 0);
    // The client push and pop around the recording acted at once and balanced.
    EXPECT_EQ(integer(GL_CLIENT_ATTRIB_STACK_DEPTH), 0);
}

TEST_F(CubeSetup, OneCompiledListThatLeavesTheMatrixAlone) {
    ASSERT_NE(cubeList, 0u);
    EXPECT_TRUE(glIsList(cubeList));
    EXPECT_FALSE(glIsList(cubeList + 1)) << "one list only";
    EXPECT_EQ(integer(GL_LIST_INDEX), 0) << "the list is closed";
    EXPECT_EQ(integer(GL_MODELVIEW_STACK_DEPTH), 1);
    expectModelviewIdentity();

    // An empty scissor box keeps the replay off the pixels; the points still go
    // through the pipeline and the list's own push and pop.
    GLint box[4];
    glGetIntegerv(GL_SCISSOR_BOX, box);
    glScissor(0, 0, 0, 0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glRotated(30, 1, 0, 0);
    GLdouble before[16], after[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, before);
    glCallList(cubeList);
    glGetDoublev(GL_MODELVIEW_MATRIX, after);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]) << i;
    EXPECT_EQ(integer(GL_MODELVIEW_STACK_DEPTH), 2);
    glPopMatrix();
    glScissor(box[0], box[1], box[2], box[3]);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Last in the file: draws a real frame and reports it.
TEST_F(CubeSetup, AFrameRestoresWhatItChangesAndCountsTheLattice) {
    onReshape(1080, 1080);
    glColor4f(0.25f, 0.5f, 0.75f, 1.0f);
    onDisplay();

    EXPECT_EQ(integer(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_EQ(integer(GL_MODELVIEW_STACK_DEPTH), 1);
    EXPECT_EQ(integer(GL_PROJECTION_STACK_DEPTH), 1);
    EXPECT_EQ(integer(GL_CLIENT_ATTRIB_STACK_DEPTH), 0);
    expectModelviewIdentity();
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_LOGIC_OP));
    // The lattice is replayed after the overlay's closing white, so the last
    // point's colour and normal are what stays current.
    GLfloat colour[4], normal[3];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    glGetFloatv(GL_CURRENT_NORMAL, normal);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(colour[c], 0.99609375f) << c;
        EXPECT_NEAR(normal[c], 0.57735027f, 1e-6f) << c;
    }
    EXPECT_EQ(colour[3], 1.0f);
    GLint logicOp = 0;
    glGetIntegerv(GL_LOGIC_OP_MODE, &logicOp);
    EXPECT_EQ(logicOp, GL_XOR);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // The frame reports and adds up the one time it measured; what the
    // figures are made of is checked without a display.
    EXPECT_EQ(frameSeconds, frameTicks / 1000.0);
    EXPECT_EQ(lastFrame.seconds, frameSeconds);
    EXPECT_EQ(totals.frames, 1.0);
    EXPECT_EQ(totals.ticks, double(frameTicks));
    EXPECT_EQ(totals.seconds, frameSeconds);
    EXPECT_EQ(totals.vertices, 16777216.0);
    EXPECT_EQ(stepCounter, 1.0) << "a frame reads the step, never advances it";
}

}  // namespace
