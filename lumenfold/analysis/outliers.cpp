#include "analysis/outliers.h"

#include <algorithm>
#include <cmath>

RobustCentre robustCentre(std::vector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }),
                 values.end());
    RobustCentre centre;
    if (values.empty()) return centre;
    centre.median = selectedMedian(values);
    // An infinite median leaves no finite spread to judge by (and the
    // deviations from it would be not-a-numbers, which selection cannot order).
    if (values.size() < 3 || !std::isfinite(centre.median)) return centre;
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

std::vector<FrameFigure> frameFigures(const ResultsRun& run) {
    std::vector<FrameFigure> figures;
    if (run.program == Program::streaming) {
        for (int k = 0; k < kernelCount; ++k) {
            FrameFigure figure;
            figure.name = std::string(kernelName(k)) + " kernel Mexec/s";
            for (const KernelBlock& block : run.kernels[k]) {
                figure.values.push_back(block.millionsPerSecond);
                figure.seconds.push_back(block.seconds);
                figure.lines.push_back(block.firstLine);
            }
            figures.push_back(std::move(figure));
        }
        return figures;
    }
    FrameFigure figure;
    figure.name = run.program == Program::triangles ? "triangles/s" : "vertices/s";
    figure.growingWorkload = run.program == Program::triangles;
    for (const Frame& frame : run.frames) {
        figure.values.push_back(frame.rate);
        figure.seconds.push_back(frame.seconds);
        figure.lines.push_back(frame.firstLine);
    }
    figures.push_back(std::move(figure));
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
        residuals.push_back(values[i] - selectedMedian(around));   // NaN when none is left
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
        entry.figure = figure.name;
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

// The first line after the k-th complete streaming frame: a float, an
// integer and a logic block in a row, in file order.
int endOfCompleteFrames(const ResultsRun& run, int k) {
    std::vector<std::pair<int, int>> blocks;   // first line, kernel
    for (int kernel = 0; kernel < kernelCount; ++kernel)
        for (const KernelBlock& block : run.kernels[kernel]) blocks.emplace_back(block.firstLine, kernel);
    std::sort(blocks.begin(), blocks.end());
    int complete = 0;
    for (size_t i = 0; i + 2 < blocks.size() && complete < k; ++i) {
        if (blocks[i].second != 0 || blocks[i + 1].second != 1 || blocks[i + 2].second != 2) continue;
        if (++complete == k) return blocks[i + 2].first + 1;
        i += 2;
    }
    return blocks.empty() ? 0 : blocks.back().first + 1;
}

}  // namespace

ResultsRun skipFrames(const ResultsRun& run, int k) {
    ResultsRun out = run;
    if (k <= 0) return out;
    if (run.program != Program::streaming) {
        out.frames.erase(out.frames.begin(), out.frames.begin() + std::min<long>(k, long(out.frames.size())));
        return out;
    }
    const int firstKept = endOfCompleteFrames(run, k);
    for (std::vector<KernelBlock>& blocks : out.kernels)
        blocks.erase(std::remove_if(blocks.begin(), blocks.end(),
                                    [&](const KernelBlock& b) { return b.firstLine < firstKept; }),
                     blocks.end());
    out.streamingFrames = std::max(0, run.streamingFrames - k);
    return out;
}
