// setupStreaming and the run control of streaming against the real driver.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "gl_window.h"
#include "kernels.h"
#include "shell.h"
#include "workload.h"


namespace {

int framesDrawn = 0;
void countFrame() { ++framesDrawn; }

// Lets GLUT handle whatever is pending, display requests included.
void pumpEvents() {
    for (int i = 0; i < 5; ++i) {
        glutMainLoopEvent();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

class StreamingGl : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        openTestWindow("streaming gl state", 550, 150);
        setupStreaming();
        // Frames are counted, not drawn: these tests are about what asks for one.
        glutDisplayFunc(countFrame);
        pumpEvents();
    }
};

TEST_F(StreamingGl, EnablesTheStagesTheFrameRunsUnder) {
    for (GLenum cap : {GL_POINT_SMOOTH, GL_FOG, GL_LIGHT0, GL_LIGHTING, GL_BLEND, GL_COLOR_LOGIC_OP,
                       GL_ALPHA_TEST, GL_AUTO_NORMAL, GL_COLOR_MATERIAL, GL_DITHER,
                       GL_SCISSOR_TEST, GL_STENCIL_TEST, GL_DEPTH_TEST})
        EXPECT_TRUE(glIsEnabled(cap)) << std::hex << cap;
    for (GLenum cap : {GL_NORMALIZE, GL_CULL_FACE, GL_LINE_STIPPLE, GL_POLYGON_STIPPLE, GL_LIGHT1,
                       GL_TEXTURE_2D})
        EXPECT_FALSE(glIsEnabled(cap)) << std::hex << cap;

    GLint value = 0;
    glGetIntegerv(GL_SHADE_MODEL, &value);
    EXPECT_EQ(value, GL_SMOOTH);
    for (GLenum target : {GL_POINT_SMOOTH_HINT, GL_FOG_HINT, GL_PERSPECTIVE_CORRECTION_HINT}) {
        glGetIntegerv(target, &value);
        EXPECT_EQ(value, GL_NICEST) << std::hex << target;
    }
    glGetIntegerv(GL_DRAW_BUFFER, &value);
    EXPECT_EQ(value, GL_FRONT_AND_BACK);
    glGetIntegerv(GL_BLEND_SRC, &value);
    EXPECT_EQ(value, GL_SRC_ALPHA);
    glGetIntegerv(GL_BLEND_DST, &value);
    EXPECT_EQ(value, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(StreamingGl, ListsTakeRangesOfOneTwoAndThreeNamesAndChangeNothing) {
    EXPECT_EQ(integerStreamList, floatStreamList + 1);
    EXPECT_EQ(logicStreamList, integerStreamList + 2);
    for (GLuint name = floatStreamList; name < logicStreamList + 3; ++name)
        EXPECT_TRUE(glIsList(name)) << "name " << name << " is reserved";
    const GLuint next = glGenLists(1);
    EXPECT_EQ(next, logicStreamList + 3) << "six names reserved in all";
    glDeleteLists(next, 1);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotated(30, 1, 0, 0);
    for (GLuint list : {floatStreamList, integerStreamList, logicStreamList}) {
        GLdouble before[16], after[16];
        glGetDoublev(GL_MODELVIEW_MATRIX, before);
        glCallList(list);
        glGetDoublev(GL_MODELVIEW_MATRIX, after);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]) << "list " << list;
        GLint depth = 0;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        EXPECT_EQ(depth, 1);
        glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &depth);
        EXPECT_EQ(depth, 0);
    }
    glLoadIdentity();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// C and R redraw, C without a step; a left click runs without a redraw of its
// own; only the idle callback advances the counter, by one.
TEST_F(StreamingGl, OnlyTheIdleCallbackAdvancesTheStep) {
    stepCounter = 1;
    framesDrawn = 0;

    onKeyboard('c', 0, 0);
    pumpEvents();
    EXPECT_EQ(framesDrawn, 1);
    onKeyboard('C', 0, 0);
    pumpEvents();
    EXPECT_EQ(framesDrawn, 2);
    EXPECT_EQ(stepCounter, 1u);

    onKeyboard('r', 0, 0);
    pumpEvents();
    EXPECT_EQ(framesDrawn, 3);
    EXPECT_EQ(stepCounter, 1u) << "R installs the idle callback, it does not step";
    onKeyboard('p', 0, 0);

    onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0);
    onMouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 0, 0);
    for (unsigned char key : {'x', ' ', '1', '\r'}) onKeyboard(key, 0, 0);
    pumpEvents();
    EXPECT_EQ(framesDrawn, 3);
    EXPECT_EQ(stepCounter, 1u);

    onIdle();
    EXPECT_EQ(stepCounter, 2u);
    pumpEvents();
    EXPECT_EQ(framesDrawn, 4);
    EXPECT_EQ(stepValue(), 2.0);
    stepCounter = 1;
}

TEST_F(StreamingGl, ReshapeLeavesBothMatricesIdentityAndProjectionSelected) {
    glMatrixMode(GL_PROJECTION);
    glOrtho(0, 10, 0, 10, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glTranslated(1, 2, 3);
    onReshape(300, 120);

    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 300);
    EXPECT_EQ(viewport[3], 120);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_PROJECTION);
    for (GLenum matrix : {GL_MODELVIEW_MATRIX, GL_PROJECTION_MATRIX}) {
        GLdouble m[16];
        glGetDoublev(matrix, m);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 1.0 : 0.0) << i;
    }
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace
