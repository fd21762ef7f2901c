#include "run/run_support.h"

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include "text_format.h"
#include "programs/programs.h"

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

// The program's report line that ends a frame (or one kernel's block of
// it), and the figure the progress shows: the number as printed, its unit.
void watchFrameLine(ConsoleWatch& watch, const std::string& line) {
    if (watch.program == nullptr) return;
    const ConsoleFrame& console = watch.program->console;
    const ResultsLayout& results = watch.program->results;
    for (size_t k = 0; k < results.kernels.size(); ++k)
        if (line == kernelNameLine(results.kernels[k])) watch.kernel = int(k);
    std::string figure;
    if (!numberIn(line, console.endLine, figure)) return;
    if (!results.byKernel()) {
        ++watch.frames;
        watch.latestFigure = figure + " " + console.unit;
        return;
    }
    if (watch.kernel < 0) return;
    if (watch.kernel == console.figureKernel) watch.latestFigure = figure + " " + console.unit;
    if (size_t(watch.kernel) == results.kernels.size() - 1) ++watch.frames;
    watch.kernel = -1;
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
    watchFrameLine(watch, line);
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
