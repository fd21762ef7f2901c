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

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, strlen(prefix), prefix) == 0;
}

bool endsWith(const std::string& text, const char* suffix) {
    size_t length = strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

// The line the programs write on stderr at the first failed write to their results file.
const char* const writeFailedLead = "Writing the results file \"";
const char* const writeFailedTail = "; later results are not saved.";

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

}  // namespace

void watchConsoleLine(ConsoleWatch& watch, const std::string& line) {
    if (startsWith(line, setupLine.prefix) && endsWith(line, setupLine.suffix)) {
        watch.setupDone = true;
    } else if (line == pressEnterLine) {
        watch.promptSeen = true;
    } else if (startsWith(line, savedLead)) {
        watch.resultsSaved = true;
        watch.resultsPath = line.substr(strlen(savedLead));
    } else if (startsWith(line, notCreatedLead)) {
        watch.resultsNotSaved = true;
        watch.resultsPath = line.substr(strlen(notCreatedLead));
    } else if (startsWith(line, notAllSavedLead)) {
        watch.resultsIncomplete = true;
        watch.resultsPath = line.substr(strlen(notAllSavedLead));
    }
    // Each program's last report line of a frame ends the frame.
    switch (watch.program) {
        case Program::triangles:
            if (startsWith(line, trianglesRateLine.prefix) && endsWith(line, trianglesRateLine.suffix)) ++watch.frames;
            break;
        case Program::cube:
            if (startsWith(line, verticesRateLine.prefix) && endsWith(line, verticesRateLine.suffix)) ++watch.frames;
            break;
        case Program::streaming:
            if (line == kernelNameLines[0] || line == kernelNameLines[1]) watch.inLogicBlock = false;
            if (line == kernelNameLines[2]) watch.inLogicBlock = true;
            if (watch.inLogicBlock && startsWith(line, kernelRateLine.prefix) && endsWith(line, kernelRateLine.suffix)) {
                ++watch.frames;
                watch.inLogicBlock = false;
            }
            break;
    }
}

void watchErrorLine(ConsoleWatch& watch, const std::string& line) {
    if (watch.writeFailure.empty() && startsWith(line, writeFailedLead) && endsWith(line, writeFailedTail))
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

std::string describeWaitStatus(int status) {
    if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        std::string text = "was killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
        if (WCOREDUMP(status)) text += ", core dumped";
        return text;
    }
    return "ended with wait status " + std::to_string(status);
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
