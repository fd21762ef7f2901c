// Runs setupTriangles against the real driver and reads the state back.
// The set-up calls themselves, their arguments and their order are checked
// call for call in gl_calls_test.py; what is here is what a call trace does
// not show: the client array pointers, the filled buffer and the list's effect.
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
