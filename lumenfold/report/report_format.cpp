#include "report/report_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

using nlohmann::json;

// Six significant digits, as the programs print; "-" where a value is undefined.
std::string textNumber(double value, int digits) {
    if (std::isnan(value)) return "-";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[48];
    snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

// Enough digits for a spreadsheet to get the double back; empty cell for undefined.
std::string csvNumber(double value) {
    if (std::isnan(value)) return "";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[48];
    snprintf(text, sizeof text, "%.10g", value);
    return text;
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

// JSON has no infinity or not-a-number; both become null.
json jsonNumber(double value) {
    if (!std::isfinite(value)) return nullptr;
    return value;
}

std::string padLeft(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string padRight(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

namespace {

const char* const statisticNames[] = {"min", "median", "mean", "max", "stddev", "p95"};
constexpr int statisticCount = 6;

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


Figure makeFigure(const char* key, const char* label, std::vector<double> values) {
    return Figure{key, label, computeStatistics(std::move(values))};
}

std::string programLabel(const ResultsRun& run) {
    return run.recognised ? programName(run.program) : "unrecognised";
}

std::string runHeadline(const ResultsRun& run) {
    std::string line = "program " + programLabel(run) + ", " + std::to_string(frameCount(run)) + " frame" +
                       (frameCount(run) == 1 ? "" : "s");
    if (run.hasSetup) line += ", set-up " + textNumber(run.setupSeconds) + " s";
    if (run.summary.present) {
        line += "; its own summary: " + textNumber(run.summary.totalSeconds) + " s in frames, " +
                textNumber(run.summary.averageAnglesPerSecond) + " angles/s";
        if (run.program == Program::cube)
            line += ", " + textNumber(run.summary.averageVerticesPerSecond) + " vertices/s";
    }
    return line;
}

std::string statisticsTable(const std::vector<Figure>& figures) {
    size_t labelWidth = 20;
    for (const Figure& f : figures) labelWidth = std::max(labelWidth, f.label.size() + 2);
    std::string out = "  " + padRight("", labelWidth) + padLeft("count", 7);
    for (const char* name : statisticNames) out += padLeft(name, 13);
    out += "\n";
    for (const Figure& f : figures) {
        out += "  " + padRight(f.label, labelWidth) + padLeft(std::to_string(f.stats.count), 7);
        for (int s = 0; s < statisticCount; ++s) out += padLeft(textNumber(statisticValue(f.stats, s)), 13);
        out += "\n";
    }
    return out;
}

std::string byStepTable(const ResultsRun& run) {
    std::string out = "  triangles/s by step:\n";
    out += "  " + padLeft("step", 8) + padLeft("triangles", 13) + padLeft("frame time (s)", 16) +
           padLeft("triangles/s", 14) + "\n";
    for (const Frame& frame : run.frames) {
        out += "  " + padLeft(std::to_string(trianglesStep(frame.triangles)), 8) +
               padLeft(textNumber(frame.triangles), 13) + padLeft(textNumber(frame.seconds), 16) +
               padLeft(textNumber(frame.rate), 14) + "\n";
    }
    return out;
}

json statisticsJson(const Statistics& stats) {
    json out = {{"count", stats.count}};
    for (int s = 0; s < statisticCount; ++s) out[statisticNames[s]] = jsonNumber(statisticValue(stats, s));
    return out;
}

std::string gnuplotString(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += '\'';
        if (c == '\n' || c == '\r') c = ' ';
        quoted += c;
    }
    return quoted + "'";
}

std::string plotNumber(double value) {
    if (!std::isfinite(value)) return "NaN";   // gnuplot leaves such points out
    char text[48];
    snprintf(text, sizeof text, "%.10g", value);
    return text;
}

bool hasFinite(const std::vector<std::pair<double, double>>& points) {
    for (const auto& p : points)
        if (std::isfinite(p.second)) return true;
    return false;
}

// x and y of one line of the plot.
std::vector<std::pair<double, double>> plotPoints(const ResultsRun& run, int kernel) {
    std::vector<std::pair<double, double>> points;
    if (run.program == Program::streaming) {
        const std::vector<KernelBlock>& blocks = run.kernels[kernel];
        for (size_t i = 0; i < blocks.size(); ++i) points.emplace_back(double(i + 1), blocks[i].millionsPerSecond);
    } else {
        for (size_t i = 0; i < run.frames.size(); ++i) {
            const Frame& f = run.frames[i];
            double x = run.program == Program::triangles ? double(trianglesStep(f.triangles)) : double(i + 1);
            points.emplace_back(x, f.rate);
        }
    }
    return points;
}

}  // namespace

std::vector<Figure> runFigures(const ResultsRun& run) {
    std::vector<Figure> figures;
    if (!run.recognised) return figures;
    if (run.program == Program::streaming) {
        for (int k = 0; k < kernelCount; ++k) {
            std::vector<double> seconds;
            std::vector<double> rates;
            for (const KernelBlock& block : run.kernels[k]) {
                seconds.push_back(block.seconds);
                rates.push_back(block.millionsPerSecond);
            }
            const std::string name = kernelName(k);
            figures.push_back(Figure{name + "_seconds", name + " kernel time (s)", computeStatistics(seconds)});
            figures.push_back(Figure{name + "_mexec_per_second", name + " Mexec/s", computeStatistics(rates)});
        }
        return figures;
    }
    std::vector<double> seconds;
    std::vector<double> angles;
    std::vector<double> rates;
    for (const Frame& frame : run.frames) {
        seconds.push_back(frame.seconds);
        angles.push_back(frame.anglesPerSecond);
        rates.push_back(frame.rate);
    }
    figures.push_back(makeFigure("frame_seconds", "frame time (s)", seconds));
    figures.push_back(makeFigure("angles_per_second", "angles/s (frames/s)", angles));
    if (run.program == Program::triangles)
        figures.push_back(makeFigure("triangles_per_second", "triangles/s", rates));
    else
        figures.push_back(makeFigure("vertices_per_second", "vertices/s", rates));
    return figures;
}

std::string problemText(const ResultsRun& run, const Problem& problem) {
    if (problem.line <= 0) return run.path + ": " + problem.message;
    return run.path + ":" + std::to_string(problem.line) + ": " + problem.message;
}

std::string textReport(const std::vector<ResultsRun>& runs) {
    std::string out;
    for (size_t i = 0; i < runs.size(); ++i) {
        const ResultsRun& run = runs[i];
        if (i > 0) out += "\n";
        out += "== " + run.path + "\n";
        if (!run.recognised) {
            out += "  not read: " + (run.problems.empty() ? std::string("?") : run.problems.front().message) + "\n";
            continue;
        }
        out += "  " + runHeadline(run) + "\n";
        if (!run.problems.empty())
            out += "  incomplete or damaged: " + std::to_string(run.problems.size()) +
                   " problem(s), listed on standard error; what could be read is below\n";
        out += statisticsTable(runFigures(run));
        if (run.program == Program::triangles && !run.frames.empty()) out += byStepTable(run);
    }
    return out;
}

std::string csvReport(const std::vector<ResultsRun>& runs) {
    std::string out = "file,program,frames,figure,count";
    for (const char* name : statisticNames) out += std::string(",") + name;
    out += "\n";
    for (const ResultsRun& run : runs) {
        for (const Figure& f : runFigures(run)) {
            out += csvField(run.path) + "," + programLabel(run) + "," + std::to_string(frameCount(run)) + "," +
                   f.key + "," + std::to_string(f.stats.count);
            for (int s = 0; s < statisticCount; ++s) out += "," + csvNumber(statisticValue(f.stats, s));
            out += "\n";
        }
    }
    return out;
}

json runJson(const ResultsRun& run) {
    json out;
    out["file"] = run.path;
    out["program"] = run.recognised ? json(programName(run.program)) : json(nullptr);
    out["frames"] = frameCount(run);
    out["complete"] = run.problems.empty();
    out["setupSeconds"] = run.hasSetup ? jsonNumber(run.setupSeconds) : json(nullptr);
    if (run.summary.present) {
        json summary = {{"totalSeconds", jsonNumber(run.summary.totalSeconds)},
                        {"averageAnglesPerSecond", jsonNumber(run.summary.averageAnglesPerSecond)}};
        if (run.program == Program::cube)
            summary["averageVerticesPerSecond"] = jsonNumber(run.summary.averageVerticesPerSecond);
        out["summary"] = summary;
    } else {
        out["summary"] = nullptr;
    }
    json statistics = json::object();
    for (const Figure& f : runFigures(run)) {
        json entry = statisticsJson(f.stats);
        entry["label"] = f.label;
        statistics[f.key] = entry;
    }
    out["statistics"] = statistics;

    if (run.recognised && run.program == Program::streaming) {
        json kernels = json::object();
        for (int k = 0; k < kernelCount; ++k) {
            json blocks = json::array();
            for (const KernelBlock& b : run.kernels[k])
                blocks.push_back({{"line", b.firstLine},
                                  {"window", b.window},
                                  {"seconds", jsonNumber(b.seconds)},
                                  {"millionsPerSecond", jsonNumber(b.millionsPerSecond)}});
            kernels[kernelName(k)] = blocks;
        }
        out["kernels"] = kernels;
    } else {
        json frames = json::array();
        for (size_t i = 0; i < run.frames.size(); ++i) {
            const Frame& f = run.frames[i];
            json row = {{"frame", i + 1},
                        {"line", f.firstLine},
                        {"window", f.window},
                        {"seconds", jsonNumber(f.seconds)},
                        {"anglesPerSecond", jsonNumber(f.anglesPerSecond)}};
            if (run.program == Program::triangles) {
                row["step"] = trianglesStep(f.triangles);
                row["triangles"] = jsonNumber(f.triangles);
                row["trianglesPerSecond"] = jsonNumber(f.rate);
            } else {
                row["verticesPerSecond"] = jsonNumber(f.rate);
            }
            frames.push_back(row);
        }
        out["perFrame"] = frames;
    }

    json problems = json::array();
    for (const Problem& p : run.problems) problems.push_back({{"line", p.line}, {"message", p.message}});
    out["problems"] = problems;
    return out;
}

std::string jsonReport(const std::vector<ResultsRun>& runs) {
    json out = json::array();
    for (const ResultsRun& run : runs) out.push_back(runJson(run));
    return out.dump(2) + "\n";
}

std::string plotScript(const std::vector<ResultsRun>& runs, const std::string& outputPath, std::string& error,
                       std::vector<std::string>* leftOut) {
    std::string terminal;
    auto endsWith = [&](const char* suffix) {
        std::string s = suffix;
        return outputPath.size() > s.size() && outputPath.compare(outputPath.size() - s.size(), s.size(), s) == 0;
    };
    const bool streaming = !runs.empty() && runs.front().recognised && runs.front().program == Program::streaming;
    const char* size = streaming ? "1200,1200" : "1200,700";
    if (endsWith(".svg"))
        terminal = std::string("svg size ") + size + " dynamic background rgb 'white'";
    else if (endsWith(".png"))
        terminal = std::string("pngcairo size ") + size + " background rgb 'white'";
    else {
        error = "the plot file must end in .svg or .png: " + outputPath;
        return "";
    }
    const ResultsRun* first = nullptr;
    for (const ResultsRun& run : runs) {
        if (!run.recognised) continue;
        if (first == nullptr) first = &run;
        if (run.program != first->program) {
            error = "one plot needs files of one program: " + first->path + " is " + programName(first->program) +
                    ", " + run.path + " is " + programName(run.program);
            return "";
        }
    }
    if (first == nullptr) {
        error = "no results file could be read, so there is nothing to plot";
        return "";
    }

    std::string script = "set terminal " + terminal + "\n";
    // File names hold "@" and "_", which enhanced text would turn into markup.
    script += "set termoption noenhanced\n";
    script += "set output " + gnuplotString(outputPath) + "\n";
    script += "set grid\nset key below\nset datafile missing 'NaN'\n";

    const int panels = first->program == Program::streaming ? kernelCount : 1;
    std::vector<std::string> blocks;
    int dataIndex = 0;
    std::vector<std::vector<std::pair<int, std::string>>> panelLines(panels);
    for (const ResultsRun& run : runs) {
        bool drawn = false;
        for (int panel = 0; run.recognised && panel < panels; ++panel) {
            const auto points = plotPoints(run, panel);
            if (!hasFinite(points)) continue;
            drawn = true;
            std::string name = "$run" + std::to_string(dataIndex++);
            script += name + " << EOD\n";
            for (const auto& p : points) script += plotNumber(p.first) + " " + plotNumber(p.second) + "\n";
            script += "EOD\n";
            panelLines[panel].emplace_back(dataIndex - 1, run.path);
        }
        if (!drawn && leftOut != nullptr) leftOut->push_back(run.path);
    }
    if (dataIndex == 0) {
        error = "no frame with a finite rate in any file, so there is nothing to plot";
        return "";
    }
    if (panels > 1) script += "set multiplot layout 3,1\n";
    for (int panel = 0; panel < panels; ++panel) {
        switch (first->program) {
            case Program::triangles:
                script += "set title 'triangles: rate per frame'\nset xlabel 'step (600 more triangles per step)'\n"
                          "set ylabel 'triangles/s'\n";
                break;
            case Program::cube:
                script += "set title 'cube: rate per frame'\nset xlabel 'frame'\nset ylabel 'vertices/s'\n";
                break;
            case Program::streaming:
                script += std::string("set title '") + kernelName(panel) +
                          " kernel: rate per frame'\nset xlabel 'frame'\nset ylabel 'millions of executions/s'\n";
                break;
        }
        if (panelLines[panel].empty()) {
            // Keeps the panel in its place when no file has data for this kernel.
            script += "set xrange [0:1]\nset yrange [0:1]\nplot NaN notitle\nset autoscale\n";
            continue;
        }
        script += "plot ";
        for (size_t i = 0; i < panelLines[panel].size(); ++i) {
            if (i > 0) script += ", \\\n     ";
            script += "$run" + std::to_string(panelLines[panel][i].first) + " using 1:2 with linespoints title " +
                      gnuplotString(panelLines[panel][i].second);
        }
        script += "\n";
    }
    if (panels > 1) script += "unset multiplot\n";
    script += "set output\n";
    return script;
}
