#include "run/progress.h"

#include <cmath>
#include <cstdio>

std::string durationText(double seconds) {
    if (!(seconds >= 0)) seconds = 0;
    const long total = long(std::ceil(std::fmin(seconds, 1e9)));
    char text[32];
    if (total >= 3600)
        snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else
        snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

namespace {

// Seconds still to go, or negative when there is nothing to go on yet.
double timeLeft(const RunProgress& p) {
    if (p.running < 0) return -1;
    if (p.frameTarget <= 0) return std::fmax(p.secondsTarget - p.running, 0);
    // The frame drawn as the window first shows comes before R: no timing yet.
    if (p.frames <= 0 || p.lastFrameAt <= 0) return -1;
    const double remaining = p.lastFrameAt / p.frames * std::fmax(p.frameTarget - p.frames, 0);
    return std::fmax(remaining - (p.running - p.lastFrameAt), 0);
}

std::string amount(const RunProgress& p) {
    if (p.running < 0) return "setting up";
    if (p.frameTarget > 0) return "frame " + std::to_string(p.frames) + " of " + std::to_string(p.frameTarget);
    char text[64];
    snprintf(text, sizeof text, "%.0f s of %g s", std::floor(std::fmin(p.running, p.secondsTarget)),
             p.secondsTarget);
    return text + (", frame " + std::to_string(p.frames));
}

}  // namespace

std::string progressText(const RunProgress& p) {
    std::string line = p.program + ", " + p.ordinal + ": " + amount(p) + ", " + durationText(p.elapsed) + " elapsed";
    const double left = timeLeft(p);
    if (left >= 0) line += ", about " + durationText(left) + " left";
    if (!p.figure.empty()) line += ", " + p.figure;
    return line;
}
