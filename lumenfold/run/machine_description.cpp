#include "run/machine_description.h"

#include <set>
#include <sstream>
#include <sys/utsname.h>
#include <unistd.h>

#include "common/files.h"

namespace {

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// /proc/cpuinfo runs to about 1.5 KB a logical processor.
constexpr long long maxCpuinfoBytes = 16LL * 1024 * 1024;

}  // namespace

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

void describeMachine(RunContext& context) {
    CpuInfo cpu = parseCpuInfo(readRegularFile("/proc/cpuinfo", maxCpuinfoBytes).text);
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    if (online > 0) cpu.logicalProcessors = int(online);
    context.cpu.model = cpu.model.empty() ? "unknown" : cpu.model;
    context.cpu.logicalProcessors = cpu.logicalProcessors;
    if (cpu.cores > 0) context.cpu.cores = cpu.cores;
    utsname names{};
    if (uname(&names) == 0)
        context.kernel = RunContext::Kernel{names.sysname, names.release, names.version, names.machine};
    else
        context.kernel.reset();
}
