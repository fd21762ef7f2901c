#include "model/figures.h"

#include <algorithm>

namespace {

// Per frame with a block of every kernel, their times together.
std::vector<double> kernelFrameSeconds(const ResultsRun& run) {
    std::vector<double> values;
    if (run.kernels.empty()) return values;
    size_t frames = run.kernels[0].size();
    for (const std::vector<KernelBlock>& blocks : run.kernels) frames = std::min(frames, blocks.size());
    for (size_t i = 0; i < frames; ++i) {
        double total = 0;
        for (const std::vector<KernelBlock>& blocks : run.kernels) total += blocks[i].seconds;
        values.push_back(total);
    }
    return values;
}

double frameValue(const Frame& frame, SampleSource source) {
    switch (source) {
        case SampleSource::frameSeconds: return frame.seconds;
        case SampleSource::framesPerSecond: return frame.anglesPerSecond;
        default: return frame.rate;
    }
}

}  // namespace

const std::vector<FigureSpec>& figuresOf(const ResultsRun& run) {
    static const std::vector<FigureSpec> none;
    return run.recognised ? programFigures(run.program) : none;
}

std::vector<double> figureSamples(const ResultsRun& run, const FigureSpec& figure, const std::set<long>* steps) {
    std::vector<double> values;
    if (!run.recognised || run.program != figure.program) return values;
    switch (figure.source) {
        case SampleSource::setupSeconds:
            if (run.hasSetup) values.push_back(run.setupSeconds);
            return values;
        case SampleSource::kernelSeconds:
        case SampleSource::kernelRate:
            if (size_t(figure.kernel) >= run.kernels.size()) return values;
            for (const KernelBlock& b : run.kernels[size_t(figure.kernel)])
                values.push_back(figure.source == SampleSource::kernelSeconds ? b.seconds : b.millionsPerSecond);
            return values;
        case SampleSource::kernelFrameSeconds: return kernelFrameSeconds(run);
        default: break;
    }
    const bool bySteps = run.program->hasSteps();
    for (const Frame& frame : run.frames) {
        if (figure.step >= 0 && frame.step != figure.step) continue;
        if (steps != nullptr && bySteps && steps->count(frame.step) == 0) continue;
        values.push_back(frameValue(frame, figure.source));
    }
    return values;
}

std::map<long, std::vector<double>> samplesByStep(const ResultsRun& run, const FigureSpec& family) {
    std::map<long, std::vector<double>> steps;
    if (!run.recognised || run.program != family.program || !run.program->hasSteps()) return steps;
    for (const Frame& frame : run.frames) steps[frame.step].push_back(frameValue(frame, family.source));
    return steps;
}

std::vector<double> figurePositions(const ResultsRun& run, const FigureSpec& figure) {
    std::vector<double> positions;
    const bool bySteps = run.recognised && run.program->hasSteps() && figure.source == SampleSource::frameRate;
    const size_t count = figureSamples(run, figure).size();
    for (size_t i = 0; i < count; ++i)
        positions.push_back(bySteps && figure.step < 0 ? double(run.frames[i].step) : double(i + 1));
    return positions;
}

std::set<long> stepsDrawn(const ResultsRun& run) {
    std::set<long> steps;
    if (!run.recognised || !run.program->hasSteps()) return steps;
    for (const Frame& frame : run.frames) steps.insert(frame.step);
    return steps;
}

const FigureSpec* frameRateFigure(Program program) {
    for (const FigureSpec& figure : programFigures(program))
        if (figure.source == SampleSource::frameRate && !figure.perStep) return &figure;
    return nullptr;
}
