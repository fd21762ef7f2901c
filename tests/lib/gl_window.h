// A GLUT window with every buffer the programs ask for, so that state read back
// in a test is the state the programs run under.
#pragma once

#include <GL/freeglut.h>

inline int openTestWindow(const char* title, int width, int height) {
    int argc = 1;
    char name[] = "gl_state_test";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_ACCUM | GLUT_ALPHA | GLUT_DEPTH |
                        GLUT_STENCIL | GLUT_MULTISAMPLE);
    glutInitWindowSize(width, height);
    return glutCreateWindow(title);
}
