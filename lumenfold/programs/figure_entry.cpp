#include "programs/figure_entry.h"

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

FigureSpec charted(FigureSpec spec, const std::string& title, const std::string& x) {
    spec.charted = true;
    spec.chartTitle = title;
    spec.chartX = x;
    return spec;
}

FigureSpec setupFigure() {
    return charted(figure("setupSeconds", "set-up (s)", "s", Direction::lowerIsBetter, SampleSource::setupSeconds),
                   "Set-up time per run (s)", "run");
}

FigureSpec frameTimeFigure(const std::string& label, const std::string& title, SampleSource source) {
    return charted(figure("frameSeconds", label, "s", Direction::lowerIsBetter, source), title);
}

std::vector<FigureSpec> timingFigures() {
    return {charted(figure("presentSeconds", "swap-to-swap time (s)", "s", Direction::lowerIsBetter,
                           SampleSource::timedPresentSeconds),
                    "Swap-to-swap time per frame (s)"),
            charted(figure("cpuSeconds", "CPU time (s)", "s", Direction::lowerIsBetter, SampleSource::timedCpuSeconds),
                    "CPU time per frame (s)"),
            charted(figure("gpuSeconds", "GPU time (s)", "s", Direction::lowerIsBetter, SampleSource::timedGpuSeconds),
                    "GPU time per frame (s)")};
}

FigureSpec figureAtStep(const FigureSpec& family, long step) {
    FigureSpec member = family;
    member.key = family.key + std::to_string(step);
    member.label = family.label + " " + std::to_string(step);
    member.step = step;
    return member;
}
