#include "shell.h"
#include "workload.h"

const ProgramValues programValues = {
    .text = &cubeText,
    .windowWidth = 1080,
    .windowHeight = 1080,
    .windowX = 350,
    .windowY = 65,
    .overlayGrey = OverlayGrey::followsStep,
    .overlayStartHeight = 90.0,
    .redisplay = Redisplay::byWindowId,
    .keyC = KeyC::stepsAndRedraws,
    .keyR = KeyR::runs,
    .reshapeOrder = ReshapeOrder::projectionFirst,
    .emptyLinesBeforePath = 0,
    .emptyLinesAfterPath = 1,
    .startSetup = nullptr,
    .setupWorkload = setupCube,
    .display = onDisplay,
    .advanceStep = advanceStep,
    .stepValue = stepValue,
    .totals = runTotals,
};
