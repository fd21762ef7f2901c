#include "programs/builtin_programs.h"

// Draws a longer list of triangles at every step, so its rate is judged step
// by step and a series by the deepest step every run reached.
ProgramSpec trianglesProgram() {
    ProgramSpec p;
    p.text = trianglesText;
    p.results.frame = {{windowLine, LineField::window},
                       {numberLine(trianglesDrawnLine), LineField::triangles},
                       {numberLine(trianglesTimeLine), LineField::seconds},
                       {numberLine(anglesRateLine), LineField::anglesPerSecond},
                       {numberLine(trianglesRateLine), LineField::rate},
                       {emptyLine, LineField::none}};
    p.results.summary = {{numberLine(totalTimeLine), LineField::totalSeconds},
                         {numberLine(averageAnglesLine), LineField::averageAngles},
                         {emptyLine, LineField::none}};
    p.results.rate = {"triangles/s", "triangles / frame time", 0, 1, ""};
    p.steps = {trianglesIndicesPerStep / trianglesIndicesPerTriangle, "triangles"};

    FigureSpec rate = figure("trianglesPerSecond", "triangles/s", "triangles/s", Direction::higherIsBetter,
                             SampleSource::frameRate);
    FigureSpec byStep = charted(rate, "Triangles/s by step", "step (600 more triangles per step)");
    byStep.key = "trianglesPerSecondStep";
    byStep.label = "triangles/s at step";
    byStep.perStep = true;
    rate.judgesOutliers = true;
    p.figures = {setupFigure(), frameTimeFigure("frame time (s)", "Frame time per frame (s)"),
                 figure("framesPerSecond", "frames/s", "frames/s", Direction::higherIsBetter,
                        SampleSource::framesPerSecond),
                 rate, byStep};
    p.mainFigure = byStep.key;
    p.console = {trianglesRateLine, "triangles/s", -1};
    p.validationSteps = {1, 3};
    return p;
}
