#include "model/figures.h"

#include <algorithm>
#include <cmath>

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

// Per whole frame, the time the timing library measured of this kind.
double timedValue(const FrameTimes& times, SampleSource source) {
    switch (source) {
        case SampleSource::timedPresentSeconds: return times.presentSeconds;
        case SampleSource::timedCpuSeconds: return times.cpuSeconds;
        default: return times.gpuSeconds;
    }
}

}  // namespace

bool measures(const ResultsRun& run, const FigureSpec& figure) {
    return run.recognised && (!figure.timed() || run.timing.present);
}

std::vector<FigureSpec> figuresOf(const ResultsRun& run) {
    std::vector<FigureSpec> figures;
    if (!run.recognised) return figures;
    for (const FigureSpec& figure : programFigures(run.program))
        if (measures(run, figure)) figures.push_back(figure);
    return figures;
}

namespace {

// A timed figure's samples: frames not matched, and GPU times not known, left out.
std::vector<double> timedSamples(const ResultsRun& run, const FigureSpec& figure, const std::set<long>* steps) {
    std::vector<double> values;
    const bool bySteps = run.program->hasSteps();
    for (size_t i = 0; i < run.timing.frames.size(); ++i) {
        const long step = bySteps && i < run.frames.size() ? run.frames[i].step : -1;
        if (figure.step >= 0 && step != figure.step) continue;
        if (steps != nullptr && bySteps && steps->count(step) == 0) continue;
        const double value = timedValue(run.timing.frames[i], figure.source);
        if (!std::isnan(value)) values.push_back(value);
    }
    return values;
}

}  // namespace

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
        case SampleSource::timedPresentSeconds:
        case SampleSource::timedCpuSeconds:
        case SampleSource::timedGpuSeconds: return timedSamples(run, figure, steps);
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
