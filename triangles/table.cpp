#include "shell.h"
#include "workload.h"

const ProgramValues programValues = {
    .text = &trianglesText,
    .windowWidth = 1080,
    .windowHeight = 1080,
    .windowX = 350,
    .windowY = 65,
    .overlayGrey = OverlayGrey::followsStep,
    .overlayStartHeight = 90.0,
    .redisplay = Redisplay::current,
    .keyC = KeyC::stepsAndRedraws,
    .keyR = KeyR::runs,
    .reshapeOrder = ReshapeOrder::projectionFirst,
    .emptyLinesBeforePath = 1,
    .emptyLinesAfterPath = 2,
    .startSetup = startTrianglesFill,
    .setupWorkload = setupTriangles,
    .display = onDisplay,
    .advanceStep = advanceStep,
    .stepValue = stepValue,
    .totals = runTotals,
};
