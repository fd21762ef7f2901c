#include "output/markdown_format.h"

#include "common/display_text.h"
#include "common/number_text.h"
#include "model/figures.h"
#include "output/alert_format.h"
#include "output/comparison_words.h"
#include "output/interval_format.h"
#include "output/markdown_table.h"
#include "output/outlier_text.h"
#include "output/run_figures.h"
#include "output/run_words.h"

namespace {

std::string bullet(const std::string& text) { return "- " + markdownText(text) + "\n"; }

std::string number(double value) { return numberText(value, readableNumber); }

std::string runFiguresTable(const ResultsRun& run) {
    std::vector<Figure> figures = runFigures(run);
    for (Figure& f : stepFigures(run)) figures.push_back(std::move(f));
    if (figures.empty()) return "";
    std::vector<MarkdownColumn> columns = {{"figure"}, {"count", true}};
    for (const char* name : statisticNames) columns.push_back({name, true});
    MarkdownTable table(columns);
    for (const Figure& f : figures) {
        std::vector<std::string> cells = {f.label, std::to_string(f.stats.count)};
        for (int s = 0; s < statisticCount; ++s) cells.push_back(number(statisticValue(f.stats, s)));
        table.add(cells);
    }
    return "\n" + table.text();
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
    for (const std::string& line : timingLines(run)) out += "\n" + markdownText(line) + "\n";
    out += runFiguresTable(run);
    std::vector<std::string> lines = outlierLines(shownOutliers(run, reported.skippedFrames), reported.skippedFrames);
    for (std::string& line : lines) line = "stands out: " + line;
    if (const std::vector<RunTail> tails = runTails(run); anyTail(tails)) lines.push_back(tailsText(tails));
    for (const std::string& line : machineLines(run)) lines.push_back(line);
    if (!lines.empty()) out += "\n";
    for (const std::string& line : lines) out += bullet(line);
    return out;
}

std::string programMarkdown(const ProgramComparison& program, int skippedFrames) {
    std::string out = "\n### " + markdownText(std::string(programName(program.program)) + ": " +
                                              runCount(program.filesA.size()) + " in A, " +
                                              runCount(program.filesB.size()) + " in B") + "\n\n";
    MarkdownTable table({{"figure"}, {"runs A/B", true}, {"median A", true}, {"median B", true}, {"B/A", true},
                         {"95% interval", true}, {"verdict", true}});
    for (const FigureComparison& f : program.figures)
        table.add({f.label, std::to_string(f.runsA) + "/" + std::to_string(f.runsB), number(f.medianA),
                   number(f.medianB), numberText(f.ratio.estimate, shortNumber), intervalText(f.ratio, shortNumber),
                   verdictName(f.verdict)});
    out += table.text();
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

// What changed in the context at a change point, in one cell.
std::string changedCell(const ContextChanges& changed) {
    std::string out;
    for (const auto& [key, values] : changed)
        out += (out.empty() ? "" : "; ") + displayText(key) + ": " + displayText(values.first) + " \u2192 " +
               displayText(values.second);
    return out.empty() ? "nothing recorded" : out;
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

std::string markdownFindings(const std::vector<Finding>& findings, size_t seriesChecked) {
    std::string out = "## Change points\n\n" + std::to_string(findings.size()) + " in " +
                      std::to_string(seriesChecked) + " series.\n";
    if (findings.empty()) return out;
    MarkdownTable table({{"machine"}, {"program"}, {"figure"}, {"run"}, {"date"}, {"median before"},
                         {"median after"}, {"after/before [95%]"}, {"verdict"}, {"changed"}});
    for (const Finding& f : findings) {
        const Series& s = *f.series;
        table.add({displayText(s.machine), s.program, s.figure, std::to_string(f.point.index + 1),
                   displayText(s.runs[f.point.index]->started), number(f.point.medianBefore),
                   number(f.point.medianAfter), ratioText(f.point.ratio, changeRatioNumber),
                   verdictName(f.point.verdict), changedCell(f.changed)});
    }
    // Program, figure and the two hashes are all a suggestion holds: none
    // can carry a backtick, so a code span shows it as it is to be typed.
    std::string commands;
    for (const Finding& f : findings)
        if (const std::string bisect = bisectSuggestion(*f.series, f.changed); !bisect.empty())
            commands += "- " + markdownText(f.series->program + " " + f.series->figure) + ": `" + bisect + "`\n";
    out += "\n" + table.text();
    if (!commands.empty()) out += "\nTo find the commits:\n\n" + commands;
    return out;
}

std::string markdownRunList(const std::vector<StoredRun>& runs) {
    MarkdownTable table({{"id", true}, {"machine"}, {"program"}, {"started"}, {"frames", true}, {"file"},
                         {"excluded"}});
    for (const StoredRun& r : runs)
        table.add({std::to_string(r.id), displayText(r.machine), r.program, displayText(r.started),
                   std::to_string(r.frames), displayText(r.sourceFile),
                   r.excluded ? "excluded: " + displayText(r.excludeReason) : ""});
    return "## Runs\n\n" + table.text() + "\n" + std::to_string(runs.size()) + (runs.size() == 1 ? " run" : " runs") +
           "\n";
}

std::string markdownAlerts(const std::vector<Alert>& alerts, const std::vector<long long>& groups) {
    MarkdownTable table({{"id", true}, {"state"}, {"group", true}, {"machine"}, {"program"}, {"figures"},
                         {"first run after"}, {"note"}});
    for (size_t i = 0; i < alerts.size(); ++i) {
        const Alert& a = alerts[i];
        table.add({std::to_string(a.id), alertStateName(a.state), std::to_string(groups[i]), displayText(a.machine),
                   a.program, a.kind == "silent" ? "silent: " + displayText(a.explanation) : alertFigureKeys(a),
                   a.firstRunAfter ? std::to_string(a.firstRunAfter) + " (" + displayText(a.firstRunAfterStarted) + ")"
                                   : "",
                   displayText(a.note)});
    }
    return table.text();
}
