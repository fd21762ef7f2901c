#include "output/csv_format.h"

#include "common/display_text.h"
#include "common/number_text.h"
#include "model/figures.h"
#include "output/alert_format.h"
#include "output/comparison_words.h"
#include "output/interval_format.h"
#include "output/outlier_text.h"
#include "output/run_figures.h"
#include "output/run_words.h"

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

namespace {

std::string cell(double value) { return numberText(value, cellNumber); }

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
        for (int s = 0; s < statisticCount; ++s) out += "," + cell(statisticValue(f.stats, s));
        out += "," + std::to_string(reported.skippedFrames) + csvOutlierCells(outliers, f.key) + "\n";
    }
    return out;
}

std::string fileList(const std::vector<std::string>& list) {
    std::string joined;
    for (const std::string& file : list) joined += (joined.empty() ? "" : "; ") + file;
    return csvField(joined);
}

std::string figureRow(const FigureComparison& f, int skippedFrames) {
    return std::string(programName(f.program)) + "," + f.figure + "," + (f.step > 0 ? std::to_string(f.step) : "") +
           "," + directionName(f.direction) + "," + std::to_string(f.runsA) + "," + std::to_string(f.runsB) + "," +
           std::to_string(f.samplesA) + "," + std::to_string(f.samplesB) + "," + cell(f.medianA) + "," +
           cell(f.medianB) + "," + intervalCells(f.ratio) + "," + verdictName(f.verdict) + "," +
           (f.framesOnly ? "yes" : "no") + "," + std::to_string(skippedFrames) + "," + fileList(f.apartA) + "," +
           fileList(f.apartB) + "\n";
}

std::string findingRow(const Finding& f) {
    const Series& s = *f.series;
    const StoredRun& first = *s.runs[f.point.index];
    std::string changed;
    for (const auto& [key, values] : f.changed)
        changed += (changed.empty() ? "" : "; ") + displayText(key) + ": " + displayText(values.first) + " -> " +
                   displayText(values.second);
    return csvField(displayText(s.machine)) + "," + csvField(s.program) + "," + csvField(s.figure) + "," +
           std::to_string(f.point.index + 1) + "," + std::to_string(s.runs.size()) + "," + std::to_string(first.id) +
           "," + csvField(displayText(first.started)) + "," + csvField(displayText(first.sourceFile)) + "," +
           cell(f.point.medianBefore) + "," + cell(f.point.medianAfter) + "," + intervalCells(f.point.ratio) + "," +
           cell(f.point.pValue) + "," + verdictName(f.point.verdict) + "," + csvField(changed) + "," +
           csvField(bisectSuggestion(s, f.changed)) + "\n";
}

}  // namespace

std::string csvReport(const std::vector<ReportedRun>& runs) {
    std::string out = "file,program,frames,figure,count";
    for (const char* name : statisticNames) out += std::string(",") + name;
    out += ",skipped_frames,outlier_frames,first_outlier_frames,slow_first_frame\n";
    for (const ReportedRun& run : runs) out += csvRows(run);
    return out;
}

std::string csvComparison(const Comparison& comparison) {
    std::string out =
        "program,figure,step,direction,runs_a,runs_b,samples_a,samples_b,median_a,median_b,ratio,ci_low,ci_high,"
        "verdict,frames_only,skipped_frames,runs_apart_a,runs_apart_b\n";
    for (const ProgramComparison& program : comparison.programs)
        for (const FigureComparison& f : program.figures) out += figureRow(f, comparison.skippedFrames);
    return out;
}

std::string csvFindings(const std::vector<Finding>& findings, size_t) {
    std::string out = "machine,program,figure,position,runs,first_run_id,first_run_started,first_run_file,"
                      "median_before,median_after,ratio,ci_low,ci_high,p_value,verdict,changed,bisect\n";
    for (const Finding& f : findings) out += findingRow(f);
    return out;
}

std::string csvRunList(const std::vector<StoredRun>& runs) {
    std::string out = "id,machine,program,started,frames,file,sha256,excluded,reason\n";
    for (const StoredRun& r : runs)
        out += std::to_string(r.id) + "," + csvField(displayText(r.machine)) + "," + csvField(r.program) + "," +
               csvField(displayText(r.started)) + "," + std::to_string(r.frames) + "," +
               csvField(displayText(r.sourceFile)) + "," + csvField(r.sha256) + "," + (r.excluded ? "yes" : "no") +
               "," + (r.excluded ? csvField(displayText(r.excludeReason)) : "") + "\n";
    return out;
}

std::string csvAlerts(const std::vector<Alert>& alerts, const std::vector<long long>& groups) {
    std::string out = "id,kind,state,group,machine,program,figures,first_run_after,first_run_started,raised,note\n";
    for (size_t i = 0; i < alerts.size(); ++i) {
        const Alert& a = alerts[i];
        out += std::to_string(a.id) + "," + csvField(a.kind) + "," + alertStateName(a.state) + "," +
               std::to_string(groups[i]) + "," + csvField(displayText(a.machine)) + "," + csvField(a.program) + "," +
               csvField(alertFigureKeys(a)) + "," + (a.firstRunAfter ? std::to_string(a.firstRunAfter) : "") + "," +
               csvField(displayText(a.firstRunAfterStarted)) + "," + alertTime(a.raisedAt) + "," +
               csvField(displayText(a.note)) + "\n";
    }
    return out;
}
