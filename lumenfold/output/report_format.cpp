#include "output/report_format.h"

#include <algorithm>

#include "common/number_text.h"
#include "model/figures.h"
#include "output/outlier_text.h"

using nlohmann::json;

const char* const statisticNames[statisticCount] = {"min", "median", "mean", "max", "stddev", "p95"};

double statisticValue(const Statistics& stats, int which) {
    switch (which) {
        case 0: return stats.min;
        case 1: return stats.median;
        case 2: return stats.mean;
        case 3: return stats.max;
        case 4: return stats.stddev;
        default: return stats.p95;
    }
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string padLeft(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string padRight(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

namespace {

std::string text(double value) { return numberText(value, readableNumber); }

}  // namespace

std::string programLabel(const ResultsRun& run) {
    return run.recognised ? programName(run.program) : "unrecognised";
}

namespace {

std::string statisticsTable(const std::vector<Figure>& figures) {
    size_t labelWidth = 20;
    for (const Figure& f : figures) labelWidth = std::max(labelWidth, f.label.size() + 2);
    std::string out = "  " + padRight("", labelWidth) + padLeft("count", 7);
    for (const char* name : statisticNames) out += padLeft(name, 13);
    out += "\n";
    for (const Figure& f : figures) {
        out += "  " + padRight(f.label, labelWidth) + padLeft(std::to_string(f.stats.count), 7);
        for (int s = 0; s < statisticCount; ++s) out += padLeft(text(statisticValue(f.stats, s)), 13);
        out += "\n";
    }
    return out;
}

std::string byStepTable(const ResultsRun& run) {
    const std::string rate = frameRateFigure(run.program)->label;
    std::string out = "  " + rate + " by step:\n";
    out += "  " + padLeft("step", 8) + padLeft(run.program->steps.countName, 13) + padLeft("frame time (s)", 16) +
           padLeft(rate, 14) + "\n";
    for (const Frame& frame : run.frames) {
        out += "  " + padLeft(std::to_string(frame.step), 8) + padLeft(text(frame.triangles), 13) +
               padLeft(text(frame.seconds), 16) + padLeft(text(frame.rate), 14) + "\n";
    }
    return out;
}

std::string runText(const ReportedRun& reported) {
    const ResultsRun& run = reported.run;
    std::string out = "== " + run.path + "\n";
    if (!run.recognised)
        return out + "  not read: " + (run.problems.empty() ? std::string("?") : run.problems.front().message) + "\n";
    out += "  " + runHeadline(run) + "\n";
    if (reported.validation()) return out + "  " + validationNote + "\n";
    if (!run.problems.empty())
        out += "  incomplete or damaged: " + std::to_string(run.problems.size()) +
               " problem(s), listed on standard error; what could be read is below\n";
    out += statisticsTable(runFigures(run));
    for (const std::string& line : outlierLines(shownOutliers(run, reported.skippedFrames), reported.skippedFrames))
        out += "  stands out: " + line + "\n";
    if (run.program->hasSteps() && !run.frames.empty()) out += byStepTable(run);
    return out;
}

json statisticsJson(const Statistics& stats) {
    json out = {{"count", stats.count}};
    for (int s = 0; s < statisticCount; ++s) out[statisticNames[s]] = numberJson(statisticValue(stats, s));
    return out;
}

json summaryJson(const ResultsRun& run) {
    if (!run.summary.present) return nullptr;
    json summary = {{"totalSeconds", numberJson(run.summary.totalSeconds)},
                    {"averageAnglesPerSecond", numberJson(run.summary.averageAnglesPerSecond)}};
    if (hasField(run.program->results.summary, LineField::averageVertices))
        summary["averageVerticesPerSecond"] = numberJson(run.summary.averageVerticesPerSecond);
    return summary;
}

json kernelsJson(const ResultsRun& run) {
    json kernels = json::object();
    for (size_t k = 0; k < run.kernels.size(); ++k) {
        json blocks = json::array();
        for (const KernelBlock& b : run.kernels[k])
            blocks.push_back({{"line", b.firstLine},
                              {"window", b.window},
                              {"seconds", numberJson(b.seconds)},
                              {"millionsPerSecond", numberJson(b.millionsPerSecond)}});
        kernels[run.program->results.kernels[k].name] = blocks;
    }
    return kernels;
}

// Each frame's values under the keys of the figures they are samples of.
json framesJson(const ResultsRun& run, int skipped) {
    json frames = json::array();
    for (size_t i = 0; i < run.frames.size(); ++i) {
        const Frame& f = run.frames[i];
        json row = {{"frame", i + 1 + size_t(std::max(0, skipped))},
                    {"line", f.firstLine},
                    {"window", f.window},
                    {"frameSeconds", numberJson(f.seconds)},
                    {"framesPerSecond", numberJson(f.anglesPerSecond)},
                    {frameRateFigure(run.program)->key, numberJson(f.rate)}};
        if (run.program->hasSteps()) {
            row["step"] = f.step;
            row[run.program->steps.countName] = numberJson(f.triangles);
        }
        frames.push_back(row);
    }
    return frames;
}

json figuresJson(const ResultsRun& run) {
    json statistics = json::object();
    std::vector<Figure> figures = runFigures(run);
    for (Figure& f : stepFigures(run)) figures.push_back(std::move(f));
    for (const Figure& f : figures) {
        json entry = statisticsJson(f.stats);
        entry["label"] = f.label;
        statistics[f.key] = entry;
    }
    return statistics;
}

// The outlier columns of a figure's row: those of the frame figure the
// rules judge by it, empty for the others.
std::string csvOutlierCells(const std::vector<RunOutliers>& outliers, const std::string& key) {
    for (const RunOutliers& o : outliers) {
        if (o.key != key) continue;
        std::string frames;
        for (int frame : o.frames.frames) frames += (frames.empty() ? "" : " ") + std::to_string(frame);
        return "," + std::to_string(o.frames.count) + "," + frames + "," + (o.slowFirst ? "yes" : "no");
    }
    return ",,,";
}

std::string csvRows(const ReportedRun& reported) {
    const ResultsRun& run = reported.run;
    if (reported.validation()) return "";
    const std::vector<RunOutliers> outliers = shownOutliers(run, reported.skippedFrames);
    std::vector<Figure> figures = runFigures(run);
    for (Figure& f : stepFigures(run)) figures.push_back(std::move(f));
    std::string out;
    for (const Figure& f : figures) {
        out += csvField(run.path) + "," + programLabel(run) + "," + std::to_string(frameCount(run)) + "," + f.key +
               "," + std::to_string(f.stats.count);
        for (int s = 0; s < statisticCount; ++s) out += "," + numberText(statisticValue(f.stats, s), cellNumber);
        out += "," + std::to_string(reported.skippedFrames) + csvOutlierCells(outliers, f.key) + "\n";
    }
    return out;
}

}  // namespace

std::vector<Figure> runFigures(const ResultsRun& run) {
    std::vector<Figure> figures;
    if (!run.recognised) return figures;
    for (const FigureSpec& spec : programFigures(run.program))
        if (!spec.perRun() && !spec.perStep)
            figures.push_back(Figure{spec.key, spec.label, computeStatistics(figureSamples(run, spec))});
    return figures;
}

std::vector<Figure> stepFigures(const ResultsRun& run) {
    std::vector<Figure> figures;
    const std::set<long> steps = stepsDrawn(run);
    if (steps.empty()) return figures;
    for (const FigureSpec& family : programFigures(run.program)) {
        if (!family.perStep) continue;
        for (long step : steps) {
            const FigureSpec member = figureAtStep(family, step);
            figures.push_back(Figure{member.key, member.label, computeStatistics(figureSamples(run, member))});
        }
    }
    return figures;
}

std::string runHeadline(const ResultsRun& run) {
    std::string line = "program " + programLabel(run) + ", " + std::to_string(frameCount(run)) + " frame" +
                       (frameCount(run) == 1 ? "" : "s");
    if (run.hasSetup) line += ", set-up " + text(run.setupSeconds) + " s";
    if (run.summary.present) {
        line += "; its own summary: " + text(run.summary.totalSeconds) + " s in frames, " +
                text(run.summary.averageAnglesPerSecond) + " angles/s";
        if (hasField(run.program->results.summary, LineField::averageVertices))
            line += ", " + text(run.summary.averageVerticesPerSecond) + " " + run.program->results.rate.rateName;
    }
    return line;
}

std::string problemText(const ResultsRun& run, const Problem& problem) {
    if (problem.line <= 0) return run.path + ": " + problem.message;
    return run.path + ":" + std::to_string(problem.line) + ": " + problem.message;
}

std::string textReport(const std::vector<ReportedRun>& runs) {
    std::string out;
    if (!runs.empty() && runs.front().skippedFrames > 0) out += skipLine(runs.front().skippedFrames) + "\n\n";
    for (size_t i = 0; i < runs.size(); ++i) out += (i > 0 ? "\n" : "") + runText(runs[i]);
    return out;
}

std::string csvReport(const std::vector<ReportedRun>& runs) {
    std::string out = "file,program,frames,figure,count";
    for (const char* name : statisticNames) out += std::string(",") + name;
    out += ",skipped_frames,outlier_frames,first_outlier_frames,slow_first_frame\n";
    for (const ReportedRun& run : runs) out += csvRows(run);
    return out;
}

json runJson(const ReportedRun& reported) {
    const ResultsRun& run = reported.run;
    json out;
    out["file"] = run.path;
    out["program"] = run.recognised ? json(programName(run.program)) : json(nullptr);
    out["frames"] = frameCount(run);
    out["skippedFrames"] = reported.skippedFrames;
    out["complete"] = run.problems.empty();
    out["setupSeconds"] = run.hasSetup ? numberJson(run.setupSeconds) : json(nullptr);
    out["summary"] = summaryJson(run);
    if (reported.validation()) {
        out["validation"] = true;
        out["statistics"] = json::object();
    } else {
        out["statistics"] = figuresJson(run);
        out["outliers"] = outliersJson(shownOutliers(run, reported.skippedFrames));
    }
    if (run.recognised && run.program->results.byKernel())
        out["kernels"] = kernelsJson(run);
    else
        out["perFrame"] = framesJson(run, reported.skippedFrames);
    json problems = json::array();
    for (const Problem& p : run.problems) problems.push_back({{"line", p.line}, {"message", p.message}});
    out["problems"] = problems;
    return out;
}

std::string jsonReport(const std::vector<ReportedRun>& runs) {
    json out = json::array();
    for (const ReportedRun& run : runs) out.push_back(runJson(run));
    return out.dump(2) + "\n";
}
