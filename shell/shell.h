// The benchmark shell shared by triangles, cube and streaming.
//
// The header is a contract in two halves: what the shell gives every program,
// and what every program has to supply for the shell to run it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "clock.h"
#include "metrics.h"
#include "report.h"

// The values in which the three programs differ. Each program defines exactly
// one of these tables; the shell reads nothing program-specific from anywhere else.
struct ProgramValues {
    const char* resultsNameFormat;   // strftime format of the results-file name
    const char* title;               // banner title line
    const char* helpLines[4];        // console help lines; the overlay text is built from them
    int windowWidth;
    int windowHeight;
    int windowX;
    int windowY;
    const char* windowTitle;
    bool overlayGreyFollowsStep;     // grey level step/256, else white
    double overlayStartHeight;       // pixels above the bottom edge
    bool redisplayByWindowId;        // glutPostWindowRedisplay(windowId), else glutPostRedisplay()
    bool keyCAdvancesStep;           // C steps and redraws, else only redraws
    bool keyRRedisplays;             // R also asks for a redisplay
    bool reshapeModelviewFirst;      // streaming resets modelview, then projection
    int summaryLines;                // 0: none, 2: time and angles, 3: and vertices
    int emptyLinesBeforePath;        // console-only empty lines between summary and path line
    int emptyLinesAfterPath;
    void (*setupWorkload)();         // one-time GL set-up, window current
};

// ---------------------------------------------------------------------------
// What the shell provides
// ---------------------------------------------------------------------------

extern char* workingDirectory;       // from getcwd at start-up; null when unreadable
extern FILE* resultsFile;            // null when the file could not be created
extern char resultsFileName[1024];   // name of the file actually written
extern char helpText[4096];
extern int windowId;

// Entry point body shared by the three programs; does not return.
int runBenchmark(int argc, char** argv);

// Esc: final summary, results path, "Press Enter to Exit.", wait, exit 0.
[[noreturn]] void finishRun();
void waitForEnter();

// Run control callbacks.
void onIdle();
void onKeyboard(unsigned char key, int x, int y);
void onMouse(int button, int state, int x, int y);
void onReshape(int width, int height);
void requestRedisplay();

// One-time GL set-up shared by the workloads, in the order each one issues it.
// Smooth shading, smoothed points, fog and light 0, with the nicest hints.
void setupShadingFogAndLight();
// The stages that triangles and cube both switch on, blending first.
void enableSceneStages();

// Frame services.
void clearFrame();
void drawHelpOverlay();
void applyStepScene(double s);
void printFinalSummary();

// Both sinks, console first: every report line goes through these.
void reportLine(const char* line);
void reportEmptyLine();
void consoleLine(const char* line);
void resultsLine(const char* line);
// "window: N", queried afresh for the sink it is written to.
void consoleWindowLine();
void resultsWindowLine();
// A frame's report of triangles or cube: the window line and the frame's
// lines to the console, the same to the results file, then one empty line to each.
void reportFrame(const char (*lines)[reportLineCapacity], int count);

// ---------------------------------------------------------------------------
// What each program must define
// ---------------------------------------------------------------------------

extern const ProgramValues programValues;
void onDisplay();
void advanceStep();      // one step of the program's own stepCounter
double stepValue();      // the step counter as a double, for the overlay's grey
