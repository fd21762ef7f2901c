// The decisions of a bisection, from runs alone: whether the ends differ,
// whether a revision is like the good end or the bad one, whether the
// first bad commit holds up against its parent, and how much of the change
// it explains. Every interval is compare's: the ratio of the medians of the
// runs' medians, by the two-level bootstrap (runs, then frames in them).
// Pure: no processes, no files.
#pragma once

#include <string>

#include "analysis/statistics.h"

enum class Mark { good, bad, undecided };

// "good", "bad", "undecided".
const char* markName(Mark mark);

// faster <-> slower; no clear difference stays as it is.
Verdict opposite(Verdict verdict);

struct EndsJudgement {
    Interval good;     // each end's median of run medians, with its interval
    Interval bad;
    Interval ratio;    // bad / good
    Verdict change = Verdict::noClearDifference;   // of the bad end against the good: none, nothing to bisect
};

EndsJudgement judgeEnds(const RunSamples& good, const RunSamples& bad, Direction direction,
                        const BootstrapOptions& options = {});

struct RevisionJudgement {
    Mark mark = Mark::undecided;
    Interval againstGood;   // revision / good end
    Interval againstBad;    // revision / bad end
    // Decided on all its runs, but not with one of them left out: one run
    // made the decision, and it is not taken.
    bool restsOnOneRun = false;
};

// Bad when the revision has moved from the good end the way the bad end did
// (part of the change is in it); good when it has not, and lies clearly on
// the good end's side of the bad end; else undecided. A decision stands only
// when it is the same with any one of the revision's runs left out (with two
// runs or more), so that no step rests on one lucky run.
RevisionJudgement judgeRevision(const RunSamples& good, const RunSamples& bad, const RunSamples& revision,
                                Direction direction, Verdict change, const BootstrapOptions& options = {});

struct Confirmation {
    bool confirmed = false;
    Interval ratio;     // culprit / parent
    Verdict verdict = Verdict::noClearDifference;
    bool restsOnOneRun = false;
};

// The culprit against its parent, measured side by side: confirmed when it
// moved the way the ends did, with any one run of either side left out too.
Confirmation confirmCulprit(const RunSamples& parent, const RunSamples& culprit, Direction direction, Verdict change,
                            const BootstrapOptions& options = {});

// How much of the change between the ends a culprit explains, on the
// logarithmic scale that makes halves of a change compose: log(culprit /
// parent) / log(bad / good). 1 for all of it; NaN when either ratio is not
// a finite positive number or the ends did not move.
double culpritShare(double culpritRatio, double endsRatio);

// Below this share, the culprit is said to leave the rest of the change to
// other commits.
inline constexpr double wholeCulpritShare = 0.5;
