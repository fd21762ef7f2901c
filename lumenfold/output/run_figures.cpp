#include "output/run_figures.h"

#include <algorithm>

#include "common/number_text.h"
#include "model/figures.h"

const char* const statisticNames[statisticCount] = {"min", "median", "mean", "max", "stddev", "p95"};

double statisticValue(const Statistics& stats, int which) {
    switch (which) {
        case 0: return stats.min;
        case 1: return stats.median;
        case 2: return stats.mean;
        case 3: return stats.max;
        case 4: return stats.stddev;
        default: return stats.p95;
    }
}

std::vector<Figure> runFigures(const ResultsRun& run) {
    std::vector<Figure> figures;
    if (!run.recognised) return figures;
    for (const FigureSpec& spec : figuresOf(run))
        if (!spec.perRun() && !spec.perStep)
            figures.push_back(Figure{spec.key, spec.label, computeStatistics(figureSamples(run, spec))});
    return figures;
}

std::vector<Figure> stepFigures(const ResultsRun& run) {
    std::vector<Figure> figures;
    const std::set<long> steps = stepsDrawn(run);
    if (steps.empty()) return figures;
    for (const FigureSpec& family : programFigures(run.program)) {
        if (!family.perStep) continue;
        for (long step : steps) {
            const FigureSpec member = figureAtStep(family, step);
            figures.push_back(Figure{member.key, member.label, computeStatistics(figureSamples(run, member))});
        }
    }
    return figures;
}

std::vector<RunTail> runTails(const ResultsRun& run) {
    std::vector<RunTail> tails;
    if (!run.recognised) return tails;
    const std::optional<FigureSpec> frameTime = findFigure(run.program, "frameSeconds");
    const std::vector<double> seconds = frameTime ? figureSamples(run, *frameTime) : std::vector<double>{};
    for (const TailFigureSpec& spec : tailFigures) tails.push_back(RunTail{&spec, tailValue(spec, seconds)});
    return tails;
}

bool anyTail(const std::vector<RunTail>& tails) {
    return std::any_of(tails.begin(), tails.end(), [](const RunTail& t) { return t.value.absent.empty(); });
}

std::string tailsText(const std::vector<RunTail>& tails) {
    std::string present, absent;
    for (const RunTail& t : tails) {
        if (t.value.absent.empty())
            present += (present.empty() ? "" : ", ") + std::string(t.spec->label) + " " +
                       numberText(t.value.value, readableNumber);
        else
            absent += "; " + std::string(t.spec->label) + ": " + t.value.absent;
    }
    return "frame-time tails: " + (present.empty() ? std::string("none") : present) + absent;
}
