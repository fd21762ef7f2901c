#include "analysis/outliers.h"

#include <algorithm>
#include <cmath>

#include "programs/programs.h"

namespace {

// The median as quantile() gives it over the sorted values, found by
// selection: robustCentre runs over every frame of every run, where sorting
// twice was most of what a comparison of long runs cost.
double selectedMedian(std::vector<double>& values) {
    const size_t upper = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + long(upper), values.end());
    if (values.size() % 2 == 1) return values[upper];
    const double lower = *std::max_element(values.begin(), values.begin() + long(upper));
    return lower + 0.5 * (values[upper] - lower);
}

}  // namespace

RobustCentre robustCentre(std::vector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }),
                 values.end());
    RobustCentre centre;
    if (values.empty()) return centre;
    centre.median = selectedMedian(values);
    if (values.size() < 3) return centre;
    double deviationSum = 0;
    for (double& v : values) {
        v = std::fabs(v - centre.median);
        deviationSum += v;
    }
    const double mad = selectedMedian(values);
    const double meanDeviation = deviationSum / double(values.size());
    if (mad > 0 && std::isfinite(mad))
        centre.spread = madToSigma * mad;
    else if (meanDeviation > 0 && std::isfinite(meanDeviation))
        centre.spread = meanDeviationToSigma * meanDeviation;
    return centre;
}

bool standsApart(double value, const RobustCentre& centre) {
    return centre.spread > 0 && std::fabs(value - centre.median) > outlierSpreads * centre.spread;
}

namespace {

// The figure's value of each frame, with the frame's time and first line.
void takeFrames(const ResultsRun& run, const FigureSpec& spec, FrameFigure& figure) {
    for (const Frame& frame : run.frames) {
        figure.values.push_back(spec.source == SampleSource::frameSeconds      ? frame.seconds
                                : spec.source == SampleSource::framesPerSecond ? frame.anglesPerSecond
                                                                               : frame.rate);
        figure.seconds.push_back(frame.seconds);
        figure.lines.push_back(frame.firstLine);
    }
}

// The same for each block of the figure's kernel.
void takeBlocks(const ResultsRun& run, const FigureSpec& spec, FrameFigure& figure) {
    figure.kernel = spec.kernel;
    if (size_t(spec.kernel) >= run.kernels.size()) return;
    for (const KernelBlock& block : run.kernels[size_t(spec.kernel)]) {
        figure.values.push_back(spec.source == SampleSource::kernelSeconds ? block.seconds : block.millionsPerSecond);
        figure.seconds.push_back(block.seconds);
        figure.lines.push_back(block.firstLine);
    }
}

}  // namespace

std::vector<FrameFigure> frameFigures(const ResultsRun& run) {
    std::vector<FrameFigure> figures;
    if (run.program == nullptr) return figures;
    for (const FigureSpec& spec : programFigures(run.program)) {
        if (!spec.judgesOutliers) continue;
        FrameFigure figure;
        figure.key = spec.key;
        figure.label = spec.label;
        figure.growingWorkload = run.program->hasSteps();
        if (run.program->results.byKernel())
            takeBlocks(run, spec, figure);
        else
            takeFrames(run, spec, figure);
        figures.push_back(std::move(figure));
    }
    return figures;
}

namespace {

// Each value less the median of the values within neighbourhood of it on
// both sides, which follows a steady climb and leaves the noise.
std::vector<double> lessLocalTrend(const std::vector<double>& values) {
    std::vector<double> residuals, around;
    for (size_t i = 0; i < values.size(); ++i) {
        const size_t reach = std::min({neighbourhood, i, values.size() - 1 - i});
        around.assign(values.begin() + long(i - reach), values.begin() + long(i + reach + 1));
        around.erase(std::remove_if(around.begin(), around.end(), [](double v) { return std::isnan(v); }),
                     around.end());
        if (around.empty()) {
            residuals.push_back(NAN);
            continue;
        }
        const auto middle = around.begin() + long(around.size() / 2);
        std::nth_element(around.begin(), middle, around.end());
        residuals.push_back(values[i] - *middle);
    }
    return residuals;
}

}  // namespace

OutlierFrames outlierFrames(const FrameFigure& figure) {
    OutlierFrames out;
    const std::vector<double> judged = figure.growingWorkload ? lessLocalTrend(figure.values) : figure.values;
    const RobustCentre centre = robustCentre(judged);
    for (size_t i = 0; i < judged.size(); ++i) {
        if (!standsApart(judged[i], centre)) continue;
        ++out.count;
        out.all.push_back(i);
        if (out.frames.size() < namedOutlierFrames) {
            out.frames.push_back(int(i + 1));
            out.lines.push_back(i < figure.lines.size() ? figure.lines[i] : 0);
        }
    }
    return out;
}

bool slowFirstFrame(const FrameFigure& figure) {
    if (figure.seconds.size() < 4) return false;
    size_t end = figure.seconds.size();
    if (figure.growingWorkload) end = std::min(end, 2 + 2 * neighbourhood);
    const RobustCentre rest = robustCentre(std::vector<double>(figure.seconds.begin() + 1, figure.seconds.begin() + long(end)));
    return standsApart(figure.seconds[0], rest) && figure.seconds[0] > rest.median;
}

std::vector<RunOutliers> runOutliers(const ResultsRun& run) {
    std::vector<RunOutliers> out;
    for (const FrameFigure& figure : frameFigures(run)) {
        RunOutliers entry;
        entry.key = figure.key;
        entry.label = figure.label;
        entry.frames = outlierFrames(figure);
        entry.slowFirst = slowFirstFrame(figure);
        out.push_back(std::move(entry));
    }
    return out;
}

std::vector<size_t> runsStandingApart(const std::vector<double>& runMedians) {
    std::vector<size_t> apart;
    for (size_t r = 0; r < runMedians.size(); ++r) {
        std::vector<double> others;
        for (size_t o = 0; o < runMedians.size(); ++o)
            if (o != r) others.push_back(runMedians[o]);
        if (standsApart(runMedians[r], robustCentre(std::move(others)))) apart.push_back(r);
    }
    return apart;
}

namespace {

// The first line after the k-th complete frame of kernel blocks: a block
// of each kernel in a row, in the program's order, in file order.
int endOfCompleteFrames(const ResultsRun& run, int k) {
    std::vector<std::pair<int, int>> blocks;   // first line, kernel
    for (size_t kernel = 0; kernel < run.kernels.size(); ++kernel)
        for (const KernelBlock& block : run.kernels[kernel]) blocks.emplace_back(block.firstLine, int(kernel));
    std::sort(blocks.begin(), blocks.end());
    const size_t perFrame = run.kernels.size();
    int complete = 0;
    for (size_t i = 0; perFrame > 0 && i + perFrame - 1 < blocks.size() && complete < k; ++i) {
        bool whole = true;
        for (size_t j = 0; j < perFrame; ++j) whole = whole && blocks[i + j].second == int(j);
        if (!whole) continue;
        if (++complete == k) return blocks[i + perFrame - 1].first + 1;
        i += perFrame - 1;
    }
    return blocks.empty() ? 0 : blocks.back().first + 1;
}

}  // namespace

ResultsRun skipFrames(const ResultsRun& run, int k) {
    ResultsRun out = run;
    if (k <= 0) return out;
    if (run.program == nullptr || !run.program->results.byKernel()) {
        out.frames.erase(out.frames.begin(), out.frames.begin() + std::min<long>(k, long(out.frames.size())));
        return out;
    }
    const int firstKept = endOfCompleteFrames(run, k);
    for (std::vector<KernelBlock>& blocks : out.kernels)
        blocks.erase(std::remove_if(blocks.begin(), blocks.end(),
                                    [&](const KernelBlock& b) { return b.firstLine < firstKept; }),
                     blocks.end());
    out.completeFrames = std::max(0, run.completeFrames - k);
    return out;
}
