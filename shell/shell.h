// The benchmark shell's GL part: start-up, run control and the frame services
// that touch GL or GLUT. What needs neither (the sinks, numbers and lines,
// the clock, the step scene's values, the summary) is in the core headers.
#pragma once

#include "metrics.h"
#include "report.h"
#include "text_format.h"

enum class OverlayGrey { white, followsStep };        // grey level step/256, or white
enum class Redisplay { current, byWindowId };          // glutPostRedisplay(), or glutPostWindowRedisplay(windowId)
enum class KeyC { redraws, stepsAndRedraws };          // streaming's step belongs to the idle callback
enum class KeyR { runs, runsAndRedraws };              // R also asks for a redisplay at once
enum class ReshapeOrder { projectionFirst, modelviewFirst };

// Everything in which the programs differ. Each program defines exactly one
// of these tables, programValues; the shell reads nothing program-specific
// from anywhere else, and reaches the workload only through its hooks here.
struct ProgramValues {
    const ProgramText* text;
    int windowWidth;
    int windowHeight;
    int windowX;
    int windowY;
    OverlayGrey overlayGrey;
    double overlayStartHeight;  // pixels above the bottom edge
    Redisplay redisplay;
    KeyC keyC;
    KeyR keyR;
    ReshapeOrder reshapeOrder;
    int emptyLinesBeforePath;   // console only, between the summary and the path line
    int emptyLinesAfterPath;

    void (*startSetup)();       // as the set-up clock starts, before GLUT; may be null
    void (*setupWorkload)();    // one-time GL set-up, window current; prints nothing
    void (*display)();          // one frame: the display callback
    void (*advanceStep)();      // one step of the program's own counter
    double (*stepValue)();      // the counter as a double, for the overlay's grey
    RunTotals (*totals)();      // the final summary's figures; null without a summary
};

extern const ProgramValues programValues;

extern int windowId;

// The body of every program's main; does not return.
[[noreturn]] int runBenchmark(int argc, char** argv);

// Run control callbacks.
void onIdle();
void onKeyboard(unsigned char key, int x, int y);
void onMouse(int button, int state, int x, int y);
void onReshape(int width, int height);

// One-time GL set-up shared by the workloads, in the order each one issues it.
// Smooth shading, smoothed points, fog and light 0, with the nicest hints.
void setupShadingFogAndLight();
// The stages that triangles and cube both switch on, blending first.
void enableSceneStages();

// Frame services.
void clearFrame();
void drawHelpOverlay();
void applyStepScene(double s);
// A frame block of triangles or cube, with the window's number in each sink.
void reportFrame(const char (*lines)[reportLineCapacity], int count);
