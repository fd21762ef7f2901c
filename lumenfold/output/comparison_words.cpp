#include "output/comparison_words.h"

#include <algorithm>

#include "common/number_text.h"
#include "model/figures.h"
#include "output/outlier_text.h"

const char* directionName(Direction direction) {
    return direction == Direction::higherIsBetter ? "higher is better" : "lower is better";
}

std::string bootstrapText(const BootstrapOptions& options) {
    return "B/A is the ratio of the medians (per side, the median of the runs' medians), with its " +
           numberText(options.confidence * 100, readableNumber) +
           "% interval\nby hierarchical bootstrap (runs, then frames within them; " +
           std::to_string(options.resamples) + " resamples, seed " + std::to_string(options.seed) +
           ").\nA change under " + numberText(noiseFloor * 100, readableNumber) + "% counts as no clear difference.";
}

std::vector<std::string> calloutLines(const ProgramComparison& program, int skippedFrames) {
    std::vector<std::string> lines;
    // By run, the figures in which it stands apart, in the order met.
    std::vector<std::pair<std::string, std::string>> apart;   // "A: file", figures
    for (const FigureComparison& f : program.figures)
        for (const auto& [side, files] : {std::pair{"A", &f.apartA}, std::pair{"B", &f.apartB}})
            for (const std::string& file : *files) {
                const std::string run = std::string(side) + ": " + file;
                auto found = std::find_if(apart.begin(), apart.end(), [&](const auto& p) { return p.first == run; });
                if (found == apart.end())
                    apart.emplace_back(run, f.label);
                else
                    found->second += ", " + f.label;
            }
    for (const auto& [run, figures] : apart)
        lines.push_back(run + " stands apart from its side's other runs (median more than " +
                        std::to_string(int(outlierSpreads)) + " spreads from theirs) in: " + figures);
    const int first = std::max(0, skippedFrames) + 1;
    for (const SlowFirstFrame& slow : program.slowFirst)
        lines.push_back(slow.side + ": " + slow.file + ": frame " + std::to_string(first) +
                        " is much slower than the frames after it: set-up work spilling into it? --skip-frames " +
                        std::to_string(first) + " leaves it out");
    return lines;
}

std::vector<std::string> comparisonNotes(const Comparison& comparison) {
    std::vector<std::string> notes;
    if (comparison.skippedFrames > 0) notes.push_back(skipLine(comparison.skippedFrames));
    for (const ConditionDifference& difference : comparison.differences) notes.push_back(difference.line);
    for (const auto& [side, warnings] : {std::pair{"A", &comparison.warningsA}, std::pair{"B", &comparison.warningsB}})
        for (const RunWarning& w : *warnings) notes.push_back(std::string(side) + ": " + w.file + ": " + w.message);
    for (const ProgramComparison& program : comparison.programs)
        for (const std::string& line : calloutLines(program, comparison.skippedFrames))
            notes.push_back(std::string(programName(program.program)) + ": " + line);
    notes.insert(notes.end(), comparison.notes.begin(), comparison.notes.end());
    return notes;
}
