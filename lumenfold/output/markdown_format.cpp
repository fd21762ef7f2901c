#include "output/comparison_format.h"
#include "output/markdown_format.h"

#include "common/number_text.h"
#include "output/outlier_text.h"
#include "output/report_format.h"

std::string markdownText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (std::string_view("\\|*_`~[]<>#&").find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

namespace {

// Our own words and numbers pass through the same escaping: a file name
// may sit inside any of them.
std::string row(const std::vector<std::string>& cells) {
    std::string out = "|";
    for (const std::string& cell : cells) out += " " + markdownText(cell) + " |";
    return out + "\n";
}

// The header row and its alignment row: the first column left, the rest right.
std::string header(const std::vector<std::string>& names) {
    std::string out = row(names) + "|";
    for (size_t i = 0; i < names.size(); ++i) out += i == 0 ? " --- |" : " ---: |";
    return out + "\n";
}

std::string bullet(const std::string& text) { return "- " + markdownText(text) + "\n"; }

std::string number(double value) { return numberText(value, readableNumber); }

std::string runFiguresTable(const ResultsRun& run) {
    std::vector<Figure> figures = runFigures(run);
    for (Figure& f : stepFigures(run)) figures.push_back(std::move(f));
    if (figures.empty()) return "";
    std::vector<std::string> names = {"figure", "count"};
    for (const char* name : statisticNames) names.push_back(name);
    std::string out = "\n" + header(names);
    for (const Figure& f : figures) {
        std::vector<std::string> cells = {f.label, std::to_string(f.stats.count)};
        for (int s = 0; s < statisticCount; ++s) cells.push_back(number(statisticValue(f.stats, s)));
        out += row(cells);
    }
    return out;
}

std::string runMarkdown(const ReportedRun& reported) {
    const ResultsRun& run = reported.run;
    std::string out = "### " + markdownText(run.path) + "\n\n";
    if (!run.recognised)
        return out + markdownText("not read: " + (run.problems.empty() ? std::string("?") : run.problems.front().message)) +
               "\n";
    out += markdownText(runHeadline(run)) + "\n";
    if (reported.validation()) return out + "\n" + markdownText(validationNote) + "\n";
    if (!run.problems.empty())
        out += "\n" + markdownText("incomplete or damaged: " + std::to_string(run.problems.size()) +
                                   " problem(s), listed on standard error; what could be read is below") + "\n";
    out += runFiguresTable(run);
    const std::vector<std::string> lines =
        outlierLines(shownOutliers(run, reported.skippedFrames), reported.skippedFrames);
    if (!lines.empty()) out += "\n";
    for (const std::string& line : lines) out += bullet("stands out: " + line);
    return out;
}

std::string intervalCell(const Interval& interval) {
    if (std::isnan(interval.low)) return "no interval";
    return "[" + numberText(interval.low, shortNumber) + ", " + numberText(interval.high, shortNumber) + "]";
}

std::string programMarkdown(const ProgramComparison& program, int skippedFrames) {
    const auto runs = [](size_t n) { return std::to_string(n) + (n == 1 ? " run" : " runs"); };
    std::string out = "\n### " + markdownText(std::string(programName(program.program)) + ": " +
                                              runs(program.filesA.size()) + " in A, " + runs(program.filesB.size()) +
                                              " in B") + "\n\n";
    out += header({"figure", "runs A/B", "median A", "median B", "B/A", "95% interval", "verdict"});
    for (const FigureComparison& f : program.figures)
        out += row({f.label, std::to_string(f.runsA) + "/" + std::to_string(f.runsB), number(f.medianA),
                    number(f.medianB), numberText(f.ratio.estimate, shortNumber), intervalCell(f.ratio),
                    verdictName(f.verdict)});
    std::string lines;
    for (const std::string& line : calloutLines(program, skippedFrames)) lines += bullet(line);
    for (const std::string& note : program.notes) lines += bullet("note: " + note);
    return out + (lines.empty() ? "" : "\n" + lines);
}

// Warnings, runs without a context, and where the sides were not measured alike.
std::string conditionsMarkdown(const Comparison& comparison) {
    std::string lines;
    for (const auto& [side, warnings] : {std::pair{"A", &comparison.warningsA}, std::pair{"B", &comparison.warningsB}})
        for (const RunWarning& w : *warnings) lines += bullet(std::string(side) + ": " + w.file + ": " + w.message);
    for (const auto& [side, files] :
         {std::pair{"A", &comparison.withoutContextA}, std::pair{"B", &comparison.withoutContextB}})
        for (const std::string& file : *files)
            lines += bullet(std::string(side) + ": " + file + " has no readable context file, so its conditions are unknown");
    for (const ConditionDifference& difference : comparison.differences) lines += bullet(difference.line);
    if (lines.empty()) lines = bullet("none reported");
    return "\n**Machine conditions**\n\n" + lines;
}

}  // namespace

std::string markdownReport(const std::vector<ReportedRun>& runs) {
    std::string out;
    if (!runs.empty() && runs.front().skippedFrames > 0) out += markdownText(skipLine(runs.front().skippedFrames)) + "\n\n";
    for (size_t i = 0; i < runs.size(); ++i) out += (i > 0 ? "\n" : "") + runMarkdown(runs[i]);
    return out;
}

std::string markdownComparison(const Comparison& comparison) {
    std::string out;
    for (const auto& [name, files] : {std::pair{"A", &comparison.filesA}, std::pair{"B", &comparison.filesB}}) {
        out += "**" + std::string(name) + "**: " + std::to_string(files->size()) +
               (files->size() == 1 ? " file\n\n" : " files\n\n");
        for (const std::string& file : *files) out += bullet(file);
        out += "\n";
    }
    if (comparison.skippedFrames > 0) out += markdownText(skipLine(comparison.skippedFrames)) + "\n";
    out += conditionsMarkdown(comparison);
    for (const ProgramComparison& program : comparison.programs) out += programMarkdown(program, comparison.skippedFrames);
    if (!comparison.notes.empty()) out += "\n";
    for (const std::string& note : comparison.notes) out += bullet("note: " + note);
    std::string method = bootstrapText(comparison.bootstrap);
    for (char& c : method)
        if (c == '\n') c = ' ';
    return out + "\n" + markdownText(method) + "\n";
}
