#include "shell.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "clock.h"
#include "scene.h"
#include "sinks.h"
#include "swap.h"

int windowId = 0;

namespace {

char helpText[4096];

// One newline, then each help line followed by one.
void buildHelpText() {
    size_t used = 0;
    used += snprintf(helpText + used, sizeof helpText - used, "\n");
    for (const char* line : programValues.text->helpLines)
        used += snprintf(helpText + used, sizeof helpText - used, "%s\n", line);
}

int currentWindow() { return glutGetWindow(); }

void waitForEnter() { (void)getchar(); }

// Esc: the final summary, the closing line, "Press Enter to Exit.", a wait
// for Enter (or the end of the input), and exit with status 0.
[[noreturn]] void finishRun() {
    const ProgramText& text = *programValues.text;
    reportSummary(text.summary, programValues.totals != nullptr ? programValues.totals() : RunTotals{});
    // Closed before the closing line, so that line can tell whether the
    // close, the last write, went through.
    closeResultsFile();
    for (int i = 0; i < programValues.emptyLinesBeforePath; ++i) consoleLine("");
    consoleLine(closingLine().c_str());
    for (int i = 0; i < programValues.emptyLinesAfterPath; ++i) consoleLine("");
    consoleLine(pressEnterLine);
    waitForEnter();
    exit(0);
}

void requestRedisplay() {
    if (programValues.redisplay == Redisplay::byWindowId)
        glutPostWindowRedisplay(windowId);
    else
        glutPostRedisplay();
}

// GLUT, the window and the workload's set-up; the time it takes is the
// set-up time reported.
void setUpWindowAndWorkload(int& argc, char** argv) {
    if (programValues.startSetup) programValues.startSetup();
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_ACCUM | GLUT_ALPHA | GLUT_DEPTH |
                        GLUT_STENCIL | GLUT_MULTISAMPLE);
    glutInitWindowSize(programValues.windowWidth, programValues.windowHeight);
    glutInitWindowPosition(programValues.windowX, programValues.windowY);
    windowId = glutCreateWindow(programValues.text->windowTitle);
    // A swap that waits for the display's refresh would cap every frame rate.
    if (const char* warning = swapIntervalWarning(requestSwapIntervalZero()))
        fprintf(stderr, "%s\n", warning);

    programValues.setupWorkload();

    glutDisplayFunc(programValues.display);
    glutReshapeFunc(onReshape);
    glutMouseFunc(onMouse);
    glutKeyboardFunc(onKeyboard);
}

}  // namespace

int runBenchmark(int argc, char** argv) {
    openResultsFile(programValues.text->resultsNameFormat, time(nullptr));
    printBanner(*programValues.text);
    buildHelpText();

    const int32_t setupStartTicks = clockTicks();
    setUpWindowAndWorkload(argc, argv);
    reportSetupTime(ticksToSeconds(ticksBetween(setupStartTicks, clockTicks())));

    glutMainLoop();

    // freeglut's main loop returns only when told to on window close.
    reportEmptyLine();
    closeResultsFile();
    waitForEnter();
    exit(0);
}

void reportFrame(const char (*lines)[reportLineCapacity], int count) {
    reportFrame(currentWindow, lines, count);
}

void onIdle() {
    programValues.advanceStep();
    requestRedisplay();
}

void onKeyboard(unsigned char key, int, int) {
    switch (key) {
        case 27:
            finishRun();
        case 'C':
        case 'c':
            if (programValues.keyC == KeyC::stepsAndRedraws) programValues.advanceStep();
            requestRedisplay();
            break;
        case 'P':
        case 'p':
            glutIdleFunc(nullptr);
            break;
        case 'R':
        case 'r':
            glutIdleFunc(onIdle);
            if (programValues.keyR == KeyR::runsAndRedraws) requestRedisplay();
            break;
        default:
            break;
    }
}

void onMouse(int button, int state, int, int) {
    if (state != GLUT_DOWN) return;
    if (button == GLUT_LEFT_BUTTON)
        glutIdleFunc(onIdle);
    else if (button == GLUT_RIGHT_BUTTON)
        glutIdleFunc(nullptr);
}

void onReshape(int width, int height) {
    glViewport(0, 0, width, height);
    const bool modelviewFirst = programValues.reshapeOrder == ReshapeOrder::modelviewFirst;
    glMatrixMode(modelviewFirst ? GL_MODELVIEW : GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(modelviewFirst ? GL_PROJECTION : GL_MODELVIEW);
    glLoadIdentity();
}

void setupShadingFogAndLight() {
    glShadeModel(GL_SMOOTH);
    glEnable(GL_POINT_SMOOTH);
    glEnable(GL_FOG);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
    glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
    glHint(GL_FOG_HINT, GL_NICEST);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

void enableSceneStages() {
    glEnable(GL_BLEND);
    glEnable(GL_ALPHA_TEST);
    glEnable(GL_AUTO_NORMAL);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_DITHER);
    glEnable(GL_SCISSOR_TEST);
    glEnable(GL_STENCIL_TEST);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_NORMALIZE);
    glEnable(GL_LINE_STIPPLE);
}

void clearFrame() {
    // The clear values are set after the clear: they are GL's initial values,
    // so every clear, the first included, clears to the same state.
    glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_ACCUM_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glClearStencil(0);
    glClearAccum(0, 0, 0, 0);
}

void drawHelpOverlay() {
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, double(glutGet(GLUT_WINDOW_WIDTH)), 0, double(glutGet(GLUT_WINDOW_HEIGHT)), -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    const float grey = programValues.overlayGrey == OverlayGrey::followsStep
                           ? overlayGreyForStep(programValues.stepValue())
                           : 1.0f;
    glColor3f(grey, grey, grey);

    const double y0 = programValues.overlayStartHeight;
    double offset = 0;
    glRasterPos2d(10, y0);
    for (const char* ch = helpText; *ch != '\0'; ++ch) {
        if (*ch == '\n') {
            offset += 18;
            glRasterPos2d(10, y0 - offset);
        }
        glutBitmapCharacter(GLUT_BITMAP_HELVETICA_18, *ch);
    }

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();

    glColor4f(1, 1, 1, 1);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
}

void applyStepScene(double s) {
    const StepSceneValues v = stepSceneValues(s);

    glScaled(1.0, 1.0, 1.0);
    glRotated(s + 45.0, 1.0, 1.0, 1.0);
    glTranslated(-0.5, -0.5, -0.5);

    // A light takes no emission, so light 0 is given none.
    glLightfv(GL_LIGHT0, GL_POSITION, v.position);
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, v.spotDirection);
    glLightfv(GL_LIGHT0, GL_AMBIENT, v.ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, v.diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, v.specular);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, &v.shininess);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, v.ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, v.diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, v.emission);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, v.ambient);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);

    glLogicOp(GL_XOR);
}
