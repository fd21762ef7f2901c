#include "analysis/median_ranks.h"

#include <cmath>

size_t medianLowRank(size_t n, double confidence) {
    if (n == 0) return 0;
    // The binomial terms from the middle outwards by their ratio, normalised
    // by their sum, so that none underflows however many frames there are;
    // those below 1e-300 of the middle one count as nothing.
    const size_t mode = n / 2;
    std::vector<double> terms(mode + 1, 0.0);   // k = 0 .. mode
    terms[mode] = 1;
    double sum = 1;
    for (size_t k = mode; k > 0 && terms[k] > 1e-300; --k) {
        terms[k - 1] = terms[k] * double(k) / double(n - k + 1);
        sum += terms[k - 1];
    }
    double term = 1;
    for (size_t k = mode; k < n && term > 1e-300; ++k) {
        term *= double(n - k) / double(k + 1);
        sum += term;
    }
    const double tail = (1 - confidence) / 2;
    double below = 0;   // P(X <= k)
    size_t rank = 0;
    for (size_t k = 0; k <= mode; ++k) {
        below += terms[k] / sum;
        if (below > tail) break;
        rank = k + 1;
    }
    return rank;
}

Interval frameMedianInterval(const std::vector<double>& sorted, double confidence) {
    Interval out;
    out.estimate = quantile(sorted, 0.5);
    const size_t j = medianLowRank(sorted.size(), confidence);
    if (j == 0) return out;
    out.low = sorted[j - 1];
    out.high = sorted[sorted.size() - j];
    return out;
}
