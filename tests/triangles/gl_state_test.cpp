// Runs setupTriangles against the real driver and reads the state back.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include "fill.h"
#include "gl_window.h"
#include "shell.h"
#include "workload.h"

namespace {

class TrianglesSetup : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        openTestWindow("gl state", 1080, 1080);
        setupTriangles();
    }
};

TEST_F(TrianglesSetup, LaterCallsWinWherePolygonModeAndFrontFaceWereSetTwice) {
    GLint modes[2] = {0, 0};
    glGetIntegerv(GL_POLYGON_MODE, modes);
    EXPECT_EQ(modes[0], GL_FILL);
    EXPECT_EQ(modes[1], GL_LINE);
    GLint front = 0;
    glGetIntegerv(GL_FRONT_FACE, &front);
    EXPECT_EQ(front, GL_CW);
    GLint culled = 0;
    glGetIntegerv(GL_CULL_FACE_MODE, &culled);
    EXPECT_EQ(culled, GL_BACK);
    GLint shade = 0;
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    EXPECT_EQ(shade, GL_SMOOTH);
}

TEST_F(TrianglesSetup, EnablesExactlyTheFixedFunctionStages) {
    for (GLenum cap : {GL_POINT_SMOOTH, GL_FOG, GL_LIGHT0, GL_LIGHTING, GL_BLEND, GL_ALPHA_TEST,
                       GL_AUTO_NORMAL, GL_COLOR_MATERIAL, GL_DITHER, GL_SCISSOR_TEST,
                       GL_STENCIL_TEST, GL_DEPTH_TEST, GL_NORMALIZE, GL_LINE_STIPPLE,
                       GL_CULL_FACE, GL_POLYGON_STIPPLE})
        EXPECT_TRUE(glIsEnabled(cap)) << std::hex << cap;
    for (GLenum cap : {GL_COLOR_LOGIC_OP, GL_LIGHT1, GL_TEXTURE_2D, GL_POLYGON_SMOOTH})
        EXPECT_FALSE(glIsEnabled(cap)) << std::hex << cap;

    GLint src = 0, dst = 0, draw = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    glGetIntegerv(GL_DRAW_BUFFER, &draw);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(draw, GL_FRONT_AND_BACK);
    GLint hint = 0;
    for (GLenum target : {GL_POINT_SMOOTH_HINT, GL_FOG_HINT, GL_PERSPECTIVE_CORRECTION_HINT}) {
        glGetIntegerv(target, &hint);
        EXPECT_EQ(hint, GL_NICEST) << std::hex << target;
    }
}

TEST_F(TrianglesSetup, ClientArraysPointAtTheAttributeBufferAsTightDoubles) {
    EXPECT_TRUE(glIsEnabled(GL_COLOR_ARRAY));
    EXPECT_TRUE(glIsEnabled(GL_NORMAL_ARRAY));
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    struct Array { GLenum pointer, size, type, stride; };
    for (Array a : {Array{GL_COLOR_ARRAY_POINTER, GL_COLOR_ARRAY_SIZE, GL_COLOR_ARRAY_TYPE, GL_COLOR_ARRAY_STRIDE},
                    Array{GL_VERTEX_ARRAY_POINTER, GL_VERTEX_ARRAY_SIZE, GL_VERTEX_ARRAY_TYPE, GL_VERTEX_ARRAY_STRIDE},
                    Array{GL_NORMAL_ARRAY_POINTER, 0, GL_NORMAL_ARRAY_TYPE, GL_NORMAL_ARRAY_STRIDE}}) {
        void* pointer = nullptr;
        glGetPointerv(a.pointer, &pointer);
        EXPECT_EQ(pointer, static_cast<void*>(attributeBuffer));
        GLint value = 0;
        if (a.size != 0) {
            glGetIntegerv(a.size, &value);
            EXPECT_EQ(value, 3);
        }
        glGetIntegerv(a.type, &value);
        EXPECT_EQ(value, GL_DOUBLE);
        glGetIntegerv(a.stride, &value);
        EXPECT_EQ(value, 0);
    }
    GLint bound = -1;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0) << "vertex data stays in client memory";
}

TEST_F(TrianglesSetup, BufferIsFilledAndTheSceneListLeavesTheMatrixAlone) {
    EXPECT_EQ(attributeBuffer[0], 0.0);
    // Every level fills the same bits: here as the portable level does.
    double expected[2];
    fillAttributesAt(fillPortable, &expected[0], 11, 1);
    fillAttributesAt(fillPortable, &expected[1], attributeCount - 1, 1);
    EXPECT_EQ(attributeBuffer[11], expected[0]);
    EXPECT_EQ(attributeBuffer[attributeCount - 1], expected[1]);

    ASSERT_TRUE(glIsList(sceneList));
    GLint depth = 0;
    glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 0);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotated(30, 1, 0, 0);
    GLdouble before[16], after[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, before);
    glCallList(sceneList);
    glGetDoublev(GL_MODELVIEW_MATRIX, after);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]) << i;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
