#include "analysis/bisect_judgement.h"

#include <cmath>

namespace {

RunSamples withoutRun(const RunSamples& runs, size_t left) {
    RunSamples out;
    for (size_t i = 0; i < runs.size(); ++i)
        if (i != left) out.push_back(runs[i]);
    return out;
}

// Runs with at least one sample that is a number: the ones the bootstrap counts.
size_t countedRuns(const RunSamples& runs) {
    size_t counted = 0;
    for (const std::vector<double>& run : runs)
        for (double v : run)
            if (!std::isnan(v)) {
                ++counted;
                break;
            }
    return counted;
}

Mark markOf(const RunSamples& good, const RunSamples& bad, const RunSamples& revision, Direction direction,
            Verdict change, const BootstrapOptions& options, RevisionJudgement* judgement = nullptr) {
    const Interval againstGood = ratioInterval(good, revision, options);
    const Interval againstBad = ratioInterval(bad, revision, options);
    if (judgement != nullptr) {
        judgement->againstGood = againstGood;
        judgement->againstBad = againstBad;
    }
    if (verdictFor(againstGood, direction) == change) return Mark::bad;
    if (verdictFor(againstBad, direction) == opposite(change)) return Mark::good;
    return Mark::undecided;
}

// Whether the verdict of b against a is the same with each one run of a
// side left out, for the sides asked and holding two runs or more.
bool steadyWithoutAnyRun(const RunSamples& a, const RunSamples& b, Direction direction, Verdict verdict,
                         const BootstrapOptions& options) {
    for (const RunSamples* side : {&a, &b}) {
        if (countedRuns(*side) < 2) continue;
        for (size_t left = 0; left < side->size(); ++left) {
            const RunSamples fewer = withoutRun(*side, left);
            const Interval ratio = side == &a ? ratioInterval(fewer, b, options) : ratioInterval(a, fewer, options);
            if (verdictFor(ratio, direction) != verdict) return false;
        }
    }
    return true;
}

}  // namespace

const char* markName(Mark mark) {
    switch (mark) {
        case Mark::good: return "good";
        case Mark::bad: return "bad";
        case Mark::undecided: break;
    }
    return "undecided";
}

Verdict opposite(Verdict verdict) {
    switch (verdict) {
        case Verdict::faster: return Verdict::slower;
        case Verdict::slower: return Verdict::faster;
        case Verdict::noClearDifference: break;
    }
    return verdict;
}

EndsJudgement judgeEnds(const RunSamples& good, const RunSamples& bad, Direction direction,
                        const BootstrapOptions& options) {
    EndsJudgement out;
    out.good = medianInterval(good, options);
    out.bad = medianInterval(bad, options);
    out.ratio = ratioInterval(good, bad, options);
    out.change = verdictFor(out.ratio, direction);
    return out;
}

RevisionJudgement judgeRevision(const RunSamples& good, const RunSamples& bad, const RunSamples& revision,
                                Direction direction, Verdict change, const BootstrapOptions& options) {
    RevisionJudgement out;
    if (change == Verdict::noClearDifference) return out;
    const Mark mark = markOf(good, bad, revision, direction, change, options, &out);
    if (mark == Mark::undecided || countedRuns(revision) < 2) {
        out.mark = mark;
        return out;
    }
    for (size_t left = 0; left < revision.size(); ++left)
        if (markOf(good, bad, withoutRun(revision, left), direction, change, options) != mark) {
            out.restsOnOneRun = true;
            return out;
        }
    out.mark = mark;
    return out;
}

Confirmation confirmCulprit(const RunSamples& parent, const RunSamples& culprit, Direction direction, Verdict change,
                            const BootstrapOptions& options) {
    Confirmation out;
    out.ratio = ratioInterval(parent, culprit, options);
    out.verdict = verdictFor(out.ratio, direction);
    if (change == Verdict::noClearDifference || out.verdict != change) return out;
    out.restsOnOneRun = !steadyWithoutAnyRun(parent, culprit, direction, out.verdict, options);
    out.confirmed = !out.restsOnOneRun;
    return out;
}

double culpritShare(double culpritRatio, double endsRatio) {
    if (!(culpritRatio > 0) || !(endsRatio > 0) || !std::isfinite(culpritRatio) || !std::isfinite(endsRatio))
        return NAN;
    const double ends = std::log(endsRatio);
    if (ends == 0) return NAN;
    return std::log(culpritRatio) / ends;
}
