#include "output/plot_script.h"

#include <cmath>

#include "common/number_text.h"
#include "model/figures.h"

namespace {

std::string gnuplotString(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += '\'';
        if (c == '\n' || c == '\r') c = ' ';
        quoted += c;
    }
    return quoted + "'";
}

// The figures drawn, one panel each: the charted per-frame rates.
std::vector<FigureSpec> plottedFigures(Program program) {
    std::vector<FigureSpec> figures;
    for (const FigureSpec& figure : programFigures(program))
        if (figure.charted && !figure.perRun() && !figure.timed() && figure.source != SampleSource::frameSeconds &&
            figure.source != SampleSource::kernelFrameSeconds)
            figures.push_back(figure);
    return figures;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string terminalFor(const std::string& outputPath, bool tall, std::string& error) {
    const std::string size = tall ? "1200,1200" : "1200,700";
    if (endsWith(outputPath, ".svg")) return "svg size " + size + " dynamic background rgb 'white'";
    if (endsWith(outputPath, ".png")) return "pngcairo size " + size + " background rgb 'white'";
    error = "the plot file must end in .svg or .png: " + outputPath;
    return "";
}

// The one program every readable run is of; null with error set otherwise.
const ResultsRun* onlyProgram(const std::vector<ResultsRun>& runs, std::string& error) {
    const ResultsRun* first = nullptr;
    for (const ResultsRun& run : runs) {
        if (!run.recognised) continue;
        if (first == nullptr) first = &run;
        if (run.program != first->program) {
            error = "one plot needs files of one program: " + first->path + " is " + programName(first->program) +
                    ", " + run.path + " is " + programName(run.program);
            return nullptr;
        }
    }
    if (first == nullptr) error = "no results file could be read, so there is nothing to plot";
    return first;
}

// One data block; false when the run has no finite value of the figure.
bool dataBlock(const ResultsRun& run, const FigureSpec& figure, const std::string& name, std::string& script) {
    const std::vector<double> values = figureSamples(run, figure);
    const std::vector<double> positions = figurePositions(run, figure);
    bool finite = false;
    for (double v : values) finite |= std::isfinite(v);
    if (!finite) return false;
    script += name + " << EOD\n";
    for (size_t i = 0; i < values.size(); ++i)
        script += numberText(positions[i], plotNumber) + " " + numberText(values[i], plotNumber) + "\n";
    script += "EOD\n";
    return true;
}

std::string panelHeading(const FigureSpec& figure) {
    return "set title " + gnuplotString(std::string(programName(figure.program)) + ": " + figure.chartTitle) +
           "\nset xlabel " + gnuplotString(figure.chartX) + "\nset ylabel " + gnuplotString(figure.unit) + "\n";
}

// One panel: its heading and a line per run that has data for it.
std::string panelPlot(const FigureSpec& figure, const std::vector<std::pair<int, std::string>>& lines) {
    std::string script = panelHeading(figure);
    if (lines.empty())  // keeps the panel in its place when no file has data for it
        return script + "set xrange [0:1]\nset yrange [0:1]\nplot NaN notitle\nset autoscale\n";
    script += "plot ";
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) script += ", \\\n     ";
        script += "$run" + std::to_string(lines[i].first) + " using 1:2 with linespoints title " +
                  gnuplotString(lines[i].second);
    }
    return script + "\n";
}

}  // namespace

std::string plotScript(const std::vector<ResultsRun>& runs, const std::string& outputPath, std::string& error,
                       std::vector<std::string>* leftOut) {
    const ResultsRun* first = onlyProgram(runs, error);
    if (first == nullptr) return "";
    const std::vector<FigureSpec> panels = plottedFigures(first->program);
    const std::string terminal = terminalFor(outputPath, panels.size() > 1, error);
    if (terminal.empty()) return "";
    // File names hold "@" and "_", which enhanced text would turn into markup.
    std::string script = "set terminal " + terminal + "\nset termoption noenhanced\nset output " +
                         gnuplotString(outputPath) + "\nset grid\nset key below\nset datafile missing 'NaN'\n";
    int blocks = 0;
    std::vector<std::vector<std::pair<int, std::string>>> lines(panels.size());
    for (const ResultsRun& run : runs) {
        bool drawn = false;
        for (size_t panel = 0; run.recognised && panel < panels.size(); ++panel) {
            if (!dataBlock(run, panels[panel], "$run" + std::to_string(blocks), script)) continue;
            lines[panel].emplace_back(blocks++, run.path);
            drawn = true;
        }
        if (!drawn && leftOut != nullptr) leftOut->push_back(run.path);
    }
    if (blocks == 0) {
        error = "no frame with a finite rate in any file, so there is nothing to plot";
        return "";
    }
    if (panels.size() > 1) script += "set multiplot layout " + std::to_string(panels.size()) + ",1\n";
    for (size_t panel = 0; panel < panels.size(); ++panel) script += panelPlot(panels[panel], lines[panel]);
    if (panels.size() > 1) script += "unset multiplot\n";
    return script + "set output\n";
}
