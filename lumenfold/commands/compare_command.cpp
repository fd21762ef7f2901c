#include "commands/compare_command.h"

#include "commands/command_options.h"
#include "commands/runs_input.h"
#include "common/messages.h"
#include "output/comparison_words.h"
#include "output/formats.h"

namespace {

Comparison compareRuns(const std::vector<ReportedRun>& a, const std::vector<ReportedRun>& b) {
    const BootstrapOptions options;
    // Measured on 2 cores: a drawn run costs about 7 x 10^-8 s whatever its
    // length, a frame (sorted, read) about 3 x 10^-7 s. Say what is being
    // done when a figure will take half a second or more.
    const FigureProgress progress = [&options](const std::string& figure, size_t runs, size_t samples) {
        if (double(runs) * options.resamples * 7e-8 + double(samples) * 3e-7 >= 0.5)
            tell("resampling " + figure + " (" + std::to_string(runs) + " runs, " + std::to_string(samples) +
                 " samples, " + std::to_string(options.resamples) + " times)...");
    };
    return compareSides(sideOf(a), sideOf(b), options, progress);
}

// Both sides' runs on one page; its notes are what the text puts before the
// verdicts (the page shows each run's warnings and the skipped frames itself).
bool writeComparisonPage(const std::vector<ReportedRun>& a, const std::vector<ReportedRun>& b,
                         const Comparison& comparison, const std::string& path) {
    std::vector<ReportedRun> runs = a;
    runs.insert(runs.end(), b.begin(), b.end());
    std::vector<FigureComparison> figures;
    for (const ProgramComparison& program : comparison.programs)
        figures.insert(figures.end(), program.figures.begin(), program.figures.end());
    std::vector<std::string> notes;
    for (const ConditionDifference& difference : comparison.differences) notes.push_back(difference.line);
    for (const ProgramComparison& program : comparison.programs)
        for (const std::string& line : calloutLines(program, comparison.skippedFrames))
            notes.push_back(std::string(programName(program.program)) + ": " + line);
    return writeRunsPage(runs, figures, path, notes);
}

}  // namespace

CLI::App* addCompareCommand(CLI::App& app, CompareOptions& options) {
    CLI::App* compare = app.add_subcommand(
        "compare", "Runs of B against runs of A: per program and figure, the ratio of medians B/A with a 95% "
                   "interval (hierarchical bootstrap) and a verdict.");
    compare->add_option("A", options.sideA, "results files or directories of side A; without --vs, exactly two files: A B")
        ->required();
    compare->add_option("--vs", options.sideB, "results files or directories of side B");
    options.format = outputFormats().front().name;
    addFormat(compare, options.format);
    addSkipFrames(compare, options.skipFrames);
    compare->add_option("--html", options.html,
                        "also write one self-contained HTML page with both sides' runs and each figure's interval");
    return compare;
}

bool splitSides(CompareOptions& options) {
    if (!options.sideB.empty()) return true;
    if (options.sideA.size() != 2) return false;
    options.sideB = {options.sideA[1]};
    options.sideA.pop_back();
    return true;
}

int compareCommand(CompareOptions options) {
    if (!splitSides(options)) {
        tell("compare takes A B, or A... --vs B...");
        return 2;
    }
    std::vector<std::string> filesA, filesB;
    const bool expandedA = inputFiles(options.sideA, filesA);
    const bool expandedB = inputFiles(options.sideB, filesB);
    std::vector<ReportedRun> readA = readReportedRuns(filesA, "A");
    std::vector<ReportedRun> readB = readReportedRuns(filesB, "B");
    const bool problemsA = showProblems(readA);
    const bool problemsB = showProblems(readB);
    const std::vector<ReportedRun> a = skippingFrames(std::move(readA), options.skipFrames);
    const std::vector<ReportedRun> b = skippingFrames(std::move(readB), options.skipFrames);
    const Comparison comparison = compareRuns(a, b);
    if (comparison.programs.empty()) {
        for (const std::string& note : comparison.notes) tell(note);
        tell("nothing to compare: no program has a readable run on both sides");
        return 1;
    }
    const OutputFormat& format = outputFormat(options.format);
    printOut(format.comparison(comparison));
    // What a format without room for them leaves out must not go unseen.
    if (!format.holdsNotes)
        for (const std::string& note : comparisonNotes(comparison)) tell(note);
    const bool paged = options.html.empty() || writeComparisonPage(a, b, comparison, options.html);
    return expandedA && expandedB && paged && !problemsA && !problemsB ? 0 : 1;
}
