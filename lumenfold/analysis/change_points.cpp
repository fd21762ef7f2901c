#include "analysis/change_points.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// Sums of |v - w| over the values inserted so far, by rank: each insertion
// and query costs log n, so every split's within-group sums take n log n.
class DistanceSums {
public:
    // Empty, for ranks below size; the storage is kept from one use to the next.
    void reset(size_t size) {
        count_.assign(size + 1, 0);
        sum_.assign(size + 1, 0.0);
        inserted_ = 0;
        total_ = 0;
    }

    // The sum of |value - w| over the inserted w, then value inserted at rank.
    double insert(size_t rank, double value) {
        size_t below = 0;
        double belowSum = 0;
        for (size_t i = rank; i > 0; i -= i & (~i + 1)) {
            below += count_[i];
            belowSum += sum_[i];
        }
        const double distance = (double(below) * value - belowSum) +
                                ((total_ - belowSum) - double(inserted_ - below) * value);
        for (size_t i = rank + 1; i < count_.size(); i += i & (~i + 1)) {
            ++count_[i];
            sum_[i] += value;
        }
        ++inserted_;
        total_ += value;
        return distance;
    }

private:
    std::vector<uint32_t> count_;
    std::vector<double> sum_;
    size_t inserted_ = 0;
    double total_ = 0;
};

// What the statistics of one series' splits need, kept for the next
// reordering: a permutation test computes them hundreds of times.
struct SplitScratch {
    DistanceSums prefix, suffix;
    std::vector<double> within, withinAfter;
};

std::vector<size_t> ranksOf(const std::vector<double>& values) {
    std::vector<size_t> order(values.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return values[a] < values[b]; });
    std::vector<size_t> ranks(values.size());
    for (size_t r = 0; r < order.size(); ++r) ranks[order[r]] = r;
    return ranks;
}

// Calls each(t, statistic) for every split t in [max(minimumSegment, 2),
// n - max(minimumSegment, 2)], the statistic of values[0, t) against
// values[t, n).
template <typename Each>
void forEachSplit(const std::vector<double>& values, const std::vector<size_t>& ranks, size_t minimumSegment,
                  SplitScratch& scratch, Each each) {
    const size_t n = values.size();
    if (minimumSegment == 0 || n < 2 * minimumSegment) return;
    std::vector<double>& within = scratch.within;
    std::vector<double>& withinAfter = scratch.withinAfter;
    within.assign(n + 1, 0.0);
    withinAfter.assign(n + 1, 0.0);
    scratch.prefix.reset(n);
    scratch.suffix.reset(n);
    for (size_t t = 0; t < n; ++t) within[t + 1] = within[t] + scratch.prefix.insert(ranks[t], values[t]);
    for (size_t t = n; t-- > 0;) withinAfter[t] = withinAfter[t + 1] + scratch.suffix.insert(ranks[t], values[t]);
    for (size_t t = std::max<size_t>(minimumSegment, 2); t + std::max<size_t>(minimumSegment, 2) <= n; ++t) {
        const double m = double(t), k = double(n - t);
        const double cross = within[n] - within[t] - withinAfter[t];
        const double energy = 2 * cross / (m * k) - within[t] / (m * (m - 1) / 2) - withinAfter[t] / (k * (k - 1) / 2);
        each(t, m * k / (m + k) * energy);
    }
}

std::vector<double> statisticsByRank(const std::vector<double>& values, const std::vector<size_t>& ranks,
                                     size_t minimumSegment, SplitScratch& scratch) {
    std::vector<double> out(values.size(), 0.0);
    forEachSplit(values, ranks, minimumSegment, scratch, [&](size_t t, double statistic) { out[t - 1] = statistic; });
    return out;
}

// The largest statistic of any split, as bestIn finds it among all of them.
double strongestSplit(const std::vector<double>& values, const std::vector<size_t>& ranks, size_t minimumSegment,
                      SplitScratch& scratch) {
    double strongest = 0;
    forEachSplit(values, ranks, minimumSegment, scratch, [&](size_t, double statistic) {
        if (statistic > strongest) strongest = statistic;
    });
    return strongest;
}

Candidate bestIn(const std::vector<double>& statistics) {
    Candidate best;
    for (size_t i = 0; i < statistics.size(); ++i)
        if (statistics[i] > best.statistic) {
            best.statistic = statistics[i];
            best.split = i + 1;
        }
    return best;
}

void splitsInto(const std::vector<double>& values, size_t offset, const ChangePointOptions& options,
                std::vector<Candidate>& splits) {
    Candidate candidate = bestSplit(values, options);
    if (candidate.split == 0 || candidate.pValue > options.alpha) return;
    splitsInto({values.begin(), values.begin() + long(candidate.split)}, offset, options, splits);
    splits.push_back(candidate);
    splits.back().split += offset;
    splitsInto({values.begin() + long(candidate.split), values.end()}, offset + candidate.split, options, splits);
}

}  // namespace

std::vector<double> splitStatistics(const std::vector<double>& values, size_t minimumSegment) {
    SplitScratch scratch;
    return statisticsByRank(values, ranksOf(values), minimumSegment, scratch);
}

Candidate bestSplit(const std::vector<double>& values, const ChangePointOptions& options) {
    const std::vector<size_t> ranks = ranksOf(values);
    SplitScratch scratch;
    Candidate best = bestIn(statisticsByRank(values, ranks, options.minimumSegment, scratch));
    if (best.split == 0) return best;
    // A reordering as strong as the series itself counts against it; once
    // more have than alpha allows, the answer is known.
    const int allowed = int(options.alpha * (options.permutations + 1)) - 1;
    UniformIndex draw(options.seed);
    std::vector<double> shuffled = values;
    std::vector<size_t> shuffledRanks = ranks;
    int asStrong = 0, drawn = 0;
    for (; drawn < options.permutations && asStrong <= allowed; ++drawn) {
        for (size_t i = shuffled.size() - 1; i > 0; --i) {
            const size_t j = draw.below(uint32_t(i + 1));
            std::swap(shuffled[i], shuffled[j]);
            std::swap(shuffledRanks[i], shuffledRanks[j]);
        }
        if (strongestSplit(shuffled, shuffledRanks, options.minimumSegment, scratch) >= best.statistic)
            ++asStrong;
    }
    best.pValue = asStrong > allowed ? 1.0 : double(1 + asStrong) / double(options.permutations + 1);
    return best;
}

std::vector<Candidate> significantSplits(const std::vector<double>& values, const ChangePointOptions& options) {
    std::vector<Candidate> splits;
    splitsInto(values, 0, options, splits);
    return splits;
}

std::vector<ChangePoint> findChangePoints(const RunSamples& runs, Direction direction,
                                          const ChangePointOptions& options) {
    std::vector<double> medians;
    for (const std::vector<double>& run : runs) medians.push_back(medianOf(run));
    const std::vector<Candidate> splits = significantSplits(medians, options);
    std::vector<ChangePoint> out;
    for (size_t i = 0; i < splits.size(); ++i) {
        const size_t begin = i == 0 ? 0 : splits[i - 1].split;
        const size_t end = i + 1 == splits.size() ? runs.size() : splits[i + 1].split;
        const RunSamples before(runs.begin() + long(begin), runs.begin() + long(splits[i].split));
        const RunSamples after(runs.begin() + long(splits[i].split), runs.begin() + long(end));
        ChangePoint point;
        point.index = splits[i].split;
        point.pValue = splits[i].pValue;
        point.medianBefore = medianOfRunMedians(before);
        point.medianAfter = medianOfRunMedians(after);
        // Within the noise floor no interval can make it a change: the
        // resampling, most of a check's time, is left out.
        const double estimate = point.medianAfter / point.medianBefore;
        if (!std::isfinite(estimate) || std::fabs(estimate - 1) < noiseFloor) continue;
        point.ratio = ratioInterval(before, after, options.bootstrap);
        point.verdict = verdictFor(point.ratio, direction);
        if (point.verdict != Verdict::noClearDifference) out.push_back(point);
    }
    return out;
}
