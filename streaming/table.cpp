#include "shell.h"
#include "workload.h"

const ProgramValues programValues = {
    .text = &streamingText,
    .windowWidth = 550,
    .windowHeight = 150,
    .windowX = 350,
    .windowY = 65,
    .overlayGrey = OverlayGrey::white,
    .overlayStartHeight = 100.0,
    .redisplay = Redisplay::current,
    .keyC = KeyC::redraws,
    .keyR = KeyR::runsAndRedraws,
    .reshapeOrder = ReshapeOrder::modelviewFirst,
    .emptyLinesBeforePath = 0,
    .emptyLinesAfterPath = 1,
    .startSetup = nullptr,
    .setupWorkload = setupStreaming,
    .display = onDisplay,
    .advanceStep = advanceStep,
    .stepValue = stepValue,
    .totals = nullptr,
};
