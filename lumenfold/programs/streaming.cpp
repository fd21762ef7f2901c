#include "programs/builtin_programs.h"

#include <cctype>
#include <iterator>

namespace {

// The kernels in the order a frame runs them, as figure and JSON keys name them.
constexpr const char* kernelNames[] = {"float", "integer", "logic"};
static_assert(std::size(kernelNames) == streamingKernelCount, "a streaming frame has one block per kernel");

}  // namespace

// A frame is three kernel blocks, each with its own time and rate; the
// float kernel's rate judges a series.
ProgramSpec streamingProgram() {
    ProgramSpec p;
    p.text = streamingText;
    for (int k = 0; k < streamingKernelCount; ++k)
        p.results.kernels.push_back({kernelNames[k],
                                     {{windowLine, LineField::window},
                                      {literalLine(kernelNameLines[k]), LineField::none},
                                      {numberLine(kernelTimeLines[k]), LineField::seconds},
                                      {numberLine(kernelRateLine), LineField::rate},
                                      {emptyLine, LineField::none}}});
    p.results.frameClosingLines = 2;
    p.results.rate = {"millions of executions/s", "134.217728 / kernel time", double(streamingKernelIterations),
                      1000000.0, ""};

    p.figures = {setupFigure(), frameTimeFigure("frame time, three kernels (s)",
                                                "Frame time per frame (s), the three kernels together",
                                                SampleSource::kernelFrameSeconds)};
    for (int k = 0; k < streamingKernelCount; ++k) {
        const std::string name = kernelNames[k];
        FigureSpec seconds = figure(name + "Seconds", name + " kernel time (s)", "s", Direction::lowerIsBetter,
                                    SampleSource::kernelSeconds);
        FigureSpec rate = figure(name + "MexecPerSecond", name + " kernel Mexec/s", "Mexec/s",
                                 Direction::higherIsBetter, SampleSource::kernelRate);
        seconds.kernel = rate.kernel = k;
        std::string title = name + " kernel: Mexec/s per frame";
        title[0] = char(toupper(title[0]));
        rate = charted(rate, title);
        rate.judgesOutliers = true;
        p.figures.push_back(seconds);
        p.figures.push_back(rate);
    }
    p.mainFigure = std::string(kernelNames[0]) + "MexecPerSecond";
    p.console = {kernelRateLine, std::string(kernelNames[0]) + " M executions/s", 0};
    p.validationSteps = {1, 2};
    return p;
}
