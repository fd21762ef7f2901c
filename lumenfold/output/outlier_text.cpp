#include "output/outlier_text.h"

#include <algorithm>

std::vector<RunOutliers> shownOutliers(const ResultsRun& run, int skipped) {
    std::vector<RunOutliers> outliers = run.recognised ? runOutliers(run) : std::vector<RunOutliers>{};
    for (RunOutliers& figure : outliers)
        for (int& frame : figure.frames.frames) frame += std::max(0, skipped);
    return outliers;
}

namespace {

std::string frameList(const OutlierFrames& frames) {
    std::string text;
    for (size_t i = 0; i < frames.frames.size(); ++i)
        text += (i > 0 ? ", " : "") + std::to_string(frames.frames[i]) + " (line " + std::to_string(frames.lines[i]) +
                ")";
    if (frames.count > frames.frames.size()) text += ", ...";
    return text;
}

}  // namespace

std::vector<std::string> outlierLines(const std::vector<RunOutliers>& outliers, int skipped) {
    std::vector<std::string> lines;
    std::vector<std::string> slow;
    for (const RunOutliers& figure : outliers) {
        if (figure.slowFirst) slow.push_back(figure.label);
        if (figure.frames.count == 0) continue;
        lines.push_back(figure.label + ": " + std::to_string(figure.frames.count) +
                        (figure.frames.count == 1 ? " frame lies" : " frames lie") + " more than " +
                        std::to_string(int(outlierSpreads)) + " spreads from the run's median: frame" +
                        (figure.frames.count == 1 ? " " : "s ") + frameList(figure.frames));
    }
    if (!slow.empty()) {
        const int first = std::max(0, skipped) + 1;
        std::string figures;
        for (const std::string& name : slow) figures += (figures.empty() ? "" : ", ") + name;
        // Only a program of kernel blocks has more than one figure to name.
        lines.push_back("frame " + std::to_string(first) + " is much slower than the frames after it" +
                        (outliers.size() > 1 ? " (" + figures + ")" : "") +
                        ": set-up work spilling into it? --skip-frames " + std::to_string(first) + " leaves it out");
    }
    return lines;
}

std::string skipLine(int skipped) {
    if (skipped <= 0) return "";
    return (skipped == 1 ? std::string("the first frame of every run is") 
                         : "the first " + std::to_string(skipped) + " frames of every run are") +
           " left out (--skip-frames " + std::to_string(skipped) +
           "); the results files are unchanged";
}
