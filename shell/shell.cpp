#include "shell.h"

#include <GL/freeglut.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "results.h"
#include "scene.h"
#include "swap.h"

char* workingDirectory = nullptr;
FILE* resultsFile = nullptr;
char resultsFileName[1024];
char helpText[4096];
int windowId = 0;

namespace {

// Captured before main, after the workload's own start-up objects.
__attribute__((constructor(200))) void captureWorkingDirectory() {
    workingDirectory = getcwd(nullptr, 0);
}

int32_t setupStartTicks = 0;
double setupSeconds = 0.0;

const char* const noticeLine =
    "Figures compare machines only between runs of the same program and build.";
const char* const supportLine =
    "Support and documentation: the README of the Lumenfold source tree.";

void buildHelpText() {
    size_t used = 0;
    used += snprintf(helpText + used, sizeof helpText - used, "\n");
    for (const char* line : programValues.helpLines)
        used += snprintf(helpText + used, sizeof helpText - used, "%s\n", line);
}

}  // namespace

void consoleLine(const char* line) { writeLineTo(stdout, line); }
void resultsLine(const char* line) { writeLineTo(resultsFile, line); }

void reportLine(const char* line) {
    consoleLine(line);
    resultsLine(line);
}

void reportEmptyLine() { reportLine(""); }

void consoleWindowLine() {
    char line[reportLineCapacity];
    formatIntegerLine(line, "window: ", glutGetWindow());
    consoleLine(line);
}

void resultsWindowLine() {
    char line[reportLineCapacity];
    formatIntegerLine(line, "window: ", glutGetWindow());
    resultsLine(line);
}

void reportFrame(const char (*lines)[reportLineCapacity], int count) {
    consoleWindowLine();
    for (int i = 0; i < count; ++i) consoleLine(lines[i]);
    resultsWindowLine();
    for (int i = 0; i < count; ++i) resultsLine(lines[i]);
    consoleLine("");
    resultsLine("");
}

int runBenchmark(int argc, char** argv) {
    char baseName[sizeof resultsFileName];
    formatResultsName(baseName, sizeof baseName, programValues.resultsNameFormat, time(nullptr));
    resultsFile = createResultsFile(baseName, resultsFileName, sizeof resultsFileName);
    if (resultsFile == nullptr) {
        int reason = errno;
        fprintf(stderr, "Cannot create the results file \"%s\": %s; results will not be saved.\n",
                resultsFileName, strerror(reason));
    }

    consoleLine("");
    consoleLine(programValues.title);
    consoleLine(noticeLine);
    consoleLine(supportLine);
    for (int i = 0; i < 4; ++i) consoleLine("");

    resultsLine(programValues.title);
    resultsLine("");
    resultsLine("");

    for (const char* line : programValues.helpLines) consoleLine(line);
    consoleLine("");
    consoleLine("");
    consoleLine("Initializing . . .");
    consoleLine("");

    buildHelpText();

    setupStartTicks = clockTicks();
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_ACCUM | GLUT_ALPHA | GLUT_DEPTH |
                        GLUT_STENCIL | GLUT_MULTISAMPLE);
    glutInitWindowSize(programValues.windowWidth, programValues.windowHeight);
    glutInitWindowPosition(programValues.windowX, programValues.windowY);
    windowId = glutCreateWindow(programValues.windowTitle);
    // A swap that waits for the display's refresh would cap every frame rate.
    if (const char* warning = swapIntervalWarning(requestSwapIntervalZero()))
        fprintf(stderr, "%s\n", warning);

    programValues.setupWorkload();

    glutDisplayFunc(onDisplay);
    glutReshapeFunc(onReshape);
    glutMouseFunc(onMouse);
    glutKeyboardFunc(onKeyboard);

    setupSeconds = ticksToSeconds(ticksBetween(setupStartTicks, clockTicks()));

    char line[reportLineCapacity];
    formatNumberLine(line, "It spent: ", setupSeconds, " Secs to Initialize.");
    consoleLine(line);
    consoleLine("");
    consoleLine("");
    resultsLine(line);
    resultsLine("");
    resultsLine("");

    glutMainLoop();

    // freeglut's main loop returns only when told to on window close.
    reportEmptyLine();
    if (resultsFile != nullptr) fclose(resultsFile);
    resultsFile = nullptr;
    waitForEnter();
    exit(0);
}

void waitForEnter() { (void)getchar(); }

void printFinalSummary() {
    if (programValues.summaryLines == 0) return;
    char lines[3][reportLineCapacity];
    formatSummaryLines(lines, programValues.summaryLines);
    for (int i = 0; i < programValues.summaryLines; ++i) consoleLine(lines[i]);
    consoleLine("");
    for (int i = 0; i < programValues.summaryLines; ++i) resultsLine(lines[i]);
    resultsLine("");
}

void finishRun() {
    printFinalSummary();
    for (int i = 0; i < programValues.emptyLinesBeforePath; ++i) consoleLine("");

    const std::string path = resultsPathFor(workingDirectory, resultsFileName);
    const char* lead = resultsFile != nullptr
                           ? "Results have been saved in a file and you can find it at: "
                           : "Results have not been saved: the results file could not be created at: ";
    consoleLine((lead + path).c_str());
    for (int i = 0; i < programValues.emptyLinesAfterPath; ++i) consoleLine("");
    consoleLine("Press Enter to Exit.");
    waitForEnter();
    exit(0);
}

void requestRedisplay() {
    if (programValues.redisplayByWindowId)
        glutPostWindowRedisplay(windowId);
    else
        glutPostRedisplay();
}

void onIdle() {
    advanceStep();
    requestRedisplay();
}

void onKeyboard(unsigned char key, int, int) {
    switch (key) {
        case 27:
            finishRun();
        case 'C':
        case 'c':
            if (programValues.keyCAdvancesStep) advanceStep();
            requestRedisplay();
            break;
        case 'P':
        case 'p':
            glutIdleFunc(nullptr);
            break;
        case 'R':
        case 'r':
            glutIdleFunc(onIdle);
            if (programValues.keyRRedisplays) requestRedisplay();
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
    const GLenum first = programValues.reshapeModelviewFirst ? GL_MODELVIEW : GL_PROJECTION;
    const GLenum second = programValues.reshapeModelviewFirst ? GL_PROJECTION : GL_MODELVIEW;
    glMatrixMode(first);
    glLoadIdentity();
    glMatrixMode(second);
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

    const float grey =
        programValues.overlayGreyFollowsStep ? overlayGreyForStep(stepValue()) : 1.0f;
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
