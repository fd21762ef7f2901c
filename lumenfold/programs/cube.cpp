#include "programs/builtin_programs.h"

// Replays the same lattice every frame: one rate, the same work throughout.
ProgramSpec cubeProgram() {
    ProgramSpec p;
    p.text = cubeText;
    p.results.frame = {{windowLine, LineField::window},
                       {numberLine(cubeTimeLine), LineField::seconds},
                       {numberLine(anglesRateLine), LineField::anglesPerSecond},
                       {numberLine(verticesRateLine), LineField::rate},
                       {emptyLine, LineField::none}};
    p.results.summary = {{numberLine(totalTimeLine), LineField::totalSeconds},
                         {numberLine(averageAnglesLine), LineField::averageAngles},
                         {numberLine(averageVerticesLine), LineField::averageVertices},
                         {emptyLine, LineField::none}};
    p.results.rate = {"vertices/s", "16777216 / frame time", cubeVerticesPerFrame, 1,
                      "frames read x 16777216 / total running time"};

    FigureSpec rate = charted(figure("verticesPerSecond", "vertices/s", "vertices/s", Direction::higherIsBetter,
                                     SampleSource::frameRate),
                              "Vertices/s per frame");
    rate.judgesOutliers = true;
    p.figures = {setupFigure(), frameTimeFigure("frame time (s)", "Frame time per frame (s)"),
                 figure("framesPerSecond", "frames/s", "frames/s", Direction::higherIsBetter,
                        SampleSource::framesPerSecond),
                 rate};
    p.mainFigure = rate.key;
    p.console = {verticesRateLine, "vertices/s", -1};
    p.validationSteps = {1, 2};
    return p;
}
