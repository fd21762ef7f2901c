#include "run/series.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/number_text.h"
#include "model/figures.h"

long deepestCommonStep(const std::vector<ResultsRun>& runs) {
    long common = -1;
    bool first = true;
    for (const ResultsRun& run : runs) {
        long deepest = -1;
        for (const Frame& frame : run.frames) deepest = std::max(deepest, frame.step);
        common = first ? deepest : std::min(common, deepest);
        first = false;
    }
    return common;
}

MainFigure mainFigure(Program program, const std::vector<ResultsRun>& runs) {
    return mainFigureAt(program, runs, mainFigureSpec(program).perStep ? deepestCommonStep(runs) : -1);
}

MainFigure mainFigureAt(Program program, const std::vector<ResultsRun>& runs, long step) {
    FigureSpec spec = mainFigureSpec(program);
    if (spec.perStep) spec = figureAtStep(spec, step);
    MainFigure figure;
    figure.name = spec.label;
    // No common step: no run has a frame to judge by.
    if (spec.perStep && step < 0) return figure;
    for (const ResultsRun& run : runs) {
        std::vector<double> samples = figureSamples(run, spec);
        if (!samples.empty()) figure.runs.push_back(std::move(samples));
    }
    return figure;
}

bool stableWithin(const Interval& interval, double percent) {
    if (!std::isfinite(interval.low) || !std::isfinite(interval.high) || !(interval.estimate > 0)) return false;
    const double allowed = interval.estimate * percent / 100;
    return interval.high - interval.estimate <= allowed && interval.estimate - interval.low <= allowed;
}

bool anotherRun(const SeriesPlan& plan, int done, const Interval& interval) {
    if (plan.stablePercent <= 0) return done < plan.repeat;
    if (done < SeriesPlan::minimumStableRuns) return done < plan.maxRuns;
    return done < plan.maxRuns && !stableWithin(interval, plan.stablePercent);
}

std::string runOrdinal(const SeriesPlan& plan, int run) {
    if (plan.stablePercent > 0) return "run " + std::to_string(run) + " of at most " + std::to_string(plan.maxRuns);
    return "run " + std::to_string(run) + " of " + std::to_string(plan.repeat);
}

std::string figureText(double value) { return numberText(value, shortNumber); }

std::string intervalText(const Interval& interval) {
    std::string out = "median " + figureText(interval.estimate);
    if (!std::isfinite(interval.low) || !std::isfinite(interval.high) || !(interval.estimate > 0)) return out;
    char spread[64];
    snprintf(spread, sizeof spread, " (%+.1f%%, %+.1f%%)", (interval.low / interval.estimate - 1) * 100,
             (interval.high / interval.estimate - 1) * 100);
    return out + ", 95% interval " + figureText(interval.low) + " to " + figureText(interval.high) + spread;
}

std::string progressLine(const SeriesPlan& plan, int run, const std::string& figureName, double runFigure,
                         const Interval& interval) {
    return runOrdinal(plan, run) + ": " + figureName + " " + figureText(runFigure) + "; so far " +
           intervalText(interval);
}
