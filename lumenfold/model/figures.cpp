#include "model/figures.h"

#include <algorithm>
#include <cctype>

namespace {

FigureSpec figure(const std::string& key, const std::string& label, const std::string& unit, Direction direction,
                  SampleSource source) {
    FigureSpec spec;
    spec.key = key;
    spec.label = label;
    spec.unit = unit;
    spec.direction = direction;
    spec.source = source;
    return spec;
}

FigureSpec charted(FigureSpec spec, const std::string& title, const std::string& x = "frame") {
    spec.charted = true;
    spec.chartTitle = title;
    spec.chartX = x;
    return spec;
}

FigureSpec setupFigure() {
    return charted(figure("setupSeconds", "set-up (s)", "s", Direction::lowerIsBetter, SampleSource::setupSeconds),
                   "Set-up time per run (s)", "run");
}

FigureSpec frameTime(const std::string& label, const std::string& title) {
    return charted(figure("frameSeconds", label, "s", Direction::lowerIsBetter, SampleSource::frameSeconds), title);
}

std::vector<FigureSpec> trianglesFigures() {
    FigureSpec rate = figure("trianglesPerSecond", "triangles/s", "triangles/s", Direction::higherIsBetter,
                             SampleSource::frameRate);
    FigureSpec byStep = charted(rate, "Triangles/s by step", "step (600 more triangles per step)");
    byStep.key = "trianglesPerSecondStep";
    byStep.label = "triangles/s at step";
    byStep.perStep = true;
    byStep.main = true;
    return {setupFigure(), frameTime("frame time (s)", "Frame time per frame (s)"),
            figure("framesPerSecond", "frames/s", "frames/s", Direction::higherIsBetter, SampleSource::framesPerSecond),
            rate, byStep};
}

std::vector<FigureSpec> cubeFigures() {
    FigureSpec rate = figure("verticesPerSecond", "vertices/s", "vertices/s", Direction::higherIsBetter,
                             SampleSource::frameRate);
    rate = charted(rate, "Vertices/s per frame");
    rate.main = true;
    return {setupFigure(), frameTime("frame time (s)", "Frame time per frame (s)"),
            figure("framesPerSecond", "frames/s", "frames/s", Direction::higherIsBetter, SampleSource::framesPerSecond),
            rate};
}

std::vector<FigureSpec> streamingFigures() {
    std::vector<FigureSpec> figures = {setupFigure(), 
                                      frameTime("frame time, three kernels (s)",
                                                "Frame time per frame (s), the three kernels together")};
    for (int k = 0; k < kernelCount; ++k) {
        const std::string name = kernelName(k);
        FigureSpec seconds = figure(name + "Seconds", name + " kernel time (s)", "s", Direction::lowerIsBetter,
                                    SampleSource::kernelSeconds);
        FigureSpec rate = figure(name + "MexecPerSecond", name + " kernel Mexec/s", "Mexec/s",
                                 Direction::higherIsBetter, SampleSource::kernelRate);
        seconds.kernel = rate.kernel = k;
        std::string title = name + " kernel: Mexec/s per frame";
        title[0] = char(toupper(title[0]));
        rate = charted(rate, title);
        rate.main = k == 0;
        figures.push_back(seconds);
        figures.push_back(rate);
    }
    return figures;
}

// Per complete streaming frame, its three kernel blocks' time together.
std::vector<double> streamingFrameSeconds(const ResultsRun& run) {
    size_t frames = run.kernels[0].size();
    for (int k = 1; k < kernelCount; ++k) frames = std::min(frames, run.kernels[k].size());
    std::vector<double> values;
    for (size_t i = 0; i < frames; ++i) {
        double total = 0;
        for (int k = 0; k < kernelCount; ++k) total += run.kernels[k][i].seconds;
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

std::vector<FigureSpec> ofProgram(Program program, std::vector<FigureSpec> figures) {
    for (FigureSpec& spec : figures) spec.program = program;
    return figures;
}

}  // namespace

const std::vector<FigureSpec>& programFigures(Program program) {
    static const std::vector<FigureSpec> triangles = ofProgram(Program::triangles, trianglesFigures());
    static const std::vector<FigureSpec> cube = ofProgram(Program::cube, cubeFigures());
    static const std::vector<FigureSpec> streaming = ofProgram(Program::streaming, streamingFigures());
    switch (program) {
        case Program::triangles: return triangles;
        case Program::cube: return cube;
        case Program::streaming: break;
    }
    return streaming;
}

FigureSpec figureAtStep(const FigureSpec& family, long step) {
    FigureSpec member = family;
    member.key = family.key + std::to_string(step);
    member.label = family.label + " " + std::to_string(step);
    member.step = step;
    return member;
}

std::optional<FigureSpec> findFigure(Program program, const std::string& key) {
    for (const FigureSpec& spec : programFigures(program)) {
        if (!spec.perStep && spec.key == key) return spec;
        if (!spec.perStep || key.size() <= spec.key.size() || key.compare(0, spec.key.size(), spec.key) != 0)
            continue;
        const std::string digits = key.substr(spec.key.size());
        // Steps are written as plain decimal numbers; "012" or "+3" name no figure.
        const bool decimal =
            std::all_of(digits.begin(), digits.end(), [](unsigned char d) { return std::isdigit(d) != 0; });
        if (digits.size() > 9 || !decimal || (digits.size() > 1 && digits[0] == '0')) continue;
        return figureAtStep(spec, std::stol(digits));
    }
    return std::nullopt;
}

const FigureSpec& mainFigureSpec(Program program) {
    const std::vector<FigureSpec>& figures = programFigures(program);
    for (const FigureSpec& spec : figures)
        if (spec.main) return spec;
    return figures.back();
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
            for (const KernelBlock& b : run.kernels[figure.kernel])
                values.push_back(figure.source == SampleSource::kernelSeconds ? b.seconds : b.millionsPerSecond);
            return values;
        default: break;
    }
    if (run.program == Program::streaming) return streamingFrameSeconds(run);
    for (const Frame& frame : run.frames) {
        const long step = run.program == Program::triangles ? trianglesStep(frame.triangles) : -1;
        if (figure.step >= 0 && step != figure.step) continue;
        if (steps != nullptr && run.program == Program::triangles && steps->count(step) == 0) continue;
        values.push_back(frameValue(frame, figure.source));
    }
    return values;
}

std::map<long, std::vector<double>> samplesByStep(const ResultsRun& run, const FigureSpec& family) {
    std::map<long, std::vector<double>> steps;
    if (!run.recognised || run.program != family.program || run.program != Program::triangles) return steps;
    for (const Frame& frame : run.frames) {
        const long step = trianglesStep(frame.triangles);
        if (step >= 0) steps[step].push_back(frameValue(frame, family.source));
    }
    return steps;
}

std::vector<double> figurePositions(const ResultsRun& run, const FigureSpec& figure) {
    std::vector<double> positions;
    const bool bySteps = run.program == Program::triangles && figure.source == SampleSource::frameRate;
    const size_t count = figureSamples(run, figure).size();
    for (size_t i = 0; i < count; ++i)
        positions.push_back(bySteps && figure.step < 0 ? double(trianglesStep(run.frames[i].triangles)) : double(i + 1));
    return positions;
}
