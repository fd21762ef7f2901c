#include "run/run_support.h"

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include "text_format.h"

namespace {

// The number a report line of this format carries, as printed.
bool numberIn(const std::string& line, NumberLine format, std::string& number) {
    const size_t prefix = strlen(format.prefix), suffix = strlen(format.suffix);
    if (line.size() <= prefix + suffix || !line.starts_with(format.prefix) || !line.ends_with(format.suffix))
        return false;
    number = line.substr(prefix, line.size() - prefix - suffix);
    return true;
}

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

}  // namespace

void watchConsoleLine(ConsoleWatch& watch, const std::string& line) {
    if (line.starts_with(setupLine.prefix) && line.ends_with(setupLine.suffix)) {
        watch.setupDone = true;
    } else if (line == pressEnterLine) {
        watch.promptSeen = true;
    } else if (line.starts_with(savedLead)) {
        watch.resultsSaved = true;
        watch.resultsPath = line.substr(strlen(savedLead));
    } else if (line.starts_with(notCreatedLead)) {
        watch.resultsNotSaved = true;
        watch.resultsPath = line.substr(strlen(notCreatedLead));
    } else if (line.starts_with(notAllSavedLead)) {
        watch.resultsIncomplete = true;
        watch.resultsPath = line.substr(strlen(notAllSavedLead));
    }
    // Each program's last report line of a frame ends the frame; the main
    // figure is the one the series judges by.
    std::string figure;
    switch (watch.program) {
        case Program::triangles:
            if (numberIn(line, trianglesRateLine, figure)) {
                ++watch.frames;
                watch.latestFigure = figure + " triangles/s";
            }
            break;
        case Program::cube:
            if (numberIn(line, verticesRateLine, figure)) {
                ++watch.frames;
                watch.latestFigure = figure + " vertices/s";
            }
            break;
        case Program::streaming:
            for (int k = 0; k < streamingKernelCount; ++k)
                if (line == kernelNameLines[k]) watch.kernel = k;
            if (watch.kernel >= 0 && numberIn(line, kernelRateLine, figure)) {
                if (watch.kernel == 0) watch.latestFigure = figure + " " + kernelName(0) + " M executions/s";
                if (watch.kernel == streamingKernelCount - 1) ++watch.frames;
                watch.kernel = -1;
            }
            break;
    }
}

void watchErrorLine(ConsoleWatch& watch, const std::string& line) {
    if (watch.writeFailure.empty() && line.starts_with(writeFailedLead) && line.ends_with(writeFailedTail) &&
        line.find(writeFailedMiddle) != std::string::npos)
        watch.writeFailure = line;
}

std::string resultsShortfall(const ConsoleWatch& watch, int framesInFile) {
    const std::string program = programName(watch.program);
    std::string why;
    if (!watch.writeFailure.empty())
        why = program + " could not write its results file (it said: " + watch.writeFailure + ")";
    else if (watch.resultsIncomplete)
        why = program + " said writing its results file failed at " + watch.resultsPath;
    if (framesInFile < watch.frames) {
        const std::string count = "the results file holds " + std::to_string(framesInFile) + " of the " +
                                  std::to_string(watch.frames) + " frames the console showed";
        why = why.empty() ? count : why + "; " + count;
    }
    return why;
}

CpuInfo parseCpuInfo(const std::string& procCpuinfo) {
    CpuInfo info;
    std::set<std::pair<std::string, std::string>> cores;
    std::string physicalId;
    std::istringstream in(procCpuinfo);
    std::string line;
    while (std::getline(in, line)) {
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = trim(line.substr(0, colon));
        const std::string value = trim(line.substr(colon + 1));
        if (key == "processor") {
            ++info.logicalProcessors;
            physicalId.clear();
        } else if (key == "model name" && info.model.empty()) {
            info.model = value;
        } else if (key == "physical id") {
            physicalId = value;
        } else if (key == "core id") {
            cores.emplace(physicalId, value);
        }
    }
    info.cores = int(cores.size());
    return info;
}

nlohmann::json machineContext() {
    std::ifstream in("/proc/cpuinfo");
    std::ostringstream text;
    text << in.rdbuf();
    CpuInfo cpu = parseCpuInfo(text.str());
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    if (online > 0) cpu.logicalProcessors = int(online);

    nlohmann::json out;
    out["cpu"] = {{"model", cpu.model.empty() ? nlohmann::json("unknown") : nlohmann::json(cpu.model)},
                  {"logicalProcessors", cpu.logicalProcessors},
                  {"cores", cpu.cores > 0 ? nlohmann::json(cpu.cores) : nlohmann::json(nullptr)}};
    utsname names{};
    if (uname(&names) == 0) {
        out["kernel"] = {{"name", names.sysname},
                         {"release", names.release},
                         {"version", names.version},
                         {"machine", names.machine}};
    } else {
        out["kernel"] = nullptr;
    }
    return out;
}

std::string isoLocalTime(time_t when) {
    tm local{};
    localtime_r(&when, &local);
    char text[64];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    // %z gives +0100; ISO 8601 readers expect +01:00.
    std::string out = text;
    if (out.size() >= 5 && (out[out.size() - 5] == '+' || out[out.size() - 5] == '-'))
        out.insert(out.size() - 2, ":");
    return out;
}

std::string shellQuoted(int argc, char** argv) {
    std::string out;
    for (int i = 0; i < argc; ++i) {
        if (i > 0) out += ' ';
        const std::string arg = argv[i];
        if (!arg.empty() && arg.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                  "0123456789-_./=:,+@%") == std::string::npos) {
            out += arg;
            continue;
        }
        out += '\'';
        for (char c : arg) {
            if (c == '\'')
                out += "'\\''";
            else
                out += c;
        }
        out += '\'';
    }
    return out;
}
