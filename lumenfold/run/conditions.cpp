#include "run/conditions.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

#include "common/files.h"

namespace fs = std::filesystem;

namespace {

// A sysfs setting: one short line (sysfs shows every file as 4096 bytes).
std::string firstLineOf(const fs::path& path) {
    const std::string text = readRegularFile(path.string(), 65536).text;
    return text.substr(0, text.find('\n'));
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
    return out;
}

void frequencyWarnings(const MachineConditions& c, std::vector<std::string>& out) {
    const bool fixed = c.governors.size() == 1 && c.governors.front() == "performance";
    if (!c.governors.empty() && !fixed)
        out.push_back("CPU frequency governor " + joined(c.governors) +
                      " rather than performance: the clock may change during the run");
    if (c.boost == 1)
        out.push_back("CPU boost (turbo) is on: the clock depends on temperature and on the other work");
}

}  // namespace

std::vector<std::string> conditionWarnings(const MachineConditions& c) {
    std::vector<std::string> out;
    frequencyWarnings(c, out);
    // Half the processors busy already: the programs and the driver's own
    // threads share what is left.
    if (c.loadAverage >= 0 && c.processors > 0 && c.loadAverage > 0.5 * c.processors) {
        char text[160];
        snprintf(text, sizeof text, "load average %.2f at start on %d logical processor%s: other work competes "
                 "for the CPU", c.loadAverage, c.processors, c.processors == 1 ? "" : "s");
        out.push_back(text);
    }
    const std::string renderer = lowerCase(c.renderer);
    for (const char* software : {"llvmpipe", "softpipe", "swrast"})
        if (renderer.find(software) != std::string::npos) {
            out.push_back("software rasteriser (renderer \"" + c.renderer +
                          "\"): the figures measure the CPU, not a GPU");
            break;
        }
    if (!c.swapKnown)
        out.push_back("the swap interval could not be read: frames may wait for the display's refresh");
    else if (c.swapInterval != 0)
        out.push_back("swap interval " + std::to_string(c.swapInterval) +
                      " in force: frames wait for the display's refresh");
    if (!c.virtualX.empty())
        out.push_back("virtual X server (" + c.virtualX + "): nothing reaches a real screen");
    return out;
}

void readCpuFrequency(const std::string& root, MachineConditions& conditions) {
    std::set<std::string> governors;
    std::error_code error;
    try {
        for (const fs::directory_entry& entry : fs::directory_iterator(root, error)) {
            const std::string name = entry.path().filename().string();
            if (name.size() < 4 || name.compare(0, 3, "cpu") != 0 || !std::isdigit((unsigned char)name[3])) continue;
            const std::string governor = firstLineOf(entry.path() / "cpufreq" / "scaling_governor");
            if (!governor.empty()) governors.insert(governor);
        }
    } catch (const fs::filesystem_error&) {
        // A CPU going offline mid-walk: what was read stands.
    }
    conditions.governors.assign(governors.begin(), governors.end());
    const std::string boost = firstLineOf(fs::path(root) / "cpufreq" / "boost");
    const std::string noTurbo = firstLineOf(fs::path(root) / "intel_pstate" / "no_turbo");
    if (boost == "0" || boost == "1")
        conditions.boost = boost == "1" ? 1 : 0;
    else if (noTurbo == "0" || noTurbo == "1")
        conditions.boost = noTurbo == "0" ? 1 : 0;
}

double parseLoadAverage(const std::string& procLoadavg) {
    std::istringstream in(procLoadavg);
    double load = -1;
    if (!(in >> load) || load < 0) return -1;
    return load;
}

namespace {

// The inode of the socket a local X server listens on for this display.
std::string listeningSocket(const std::string& display) {
    const size_t colon = display.find(':');
    if (colon != 0) return "";  // only local displays: ":N" or ":N.S"
    const std::string number = display.substr(1, display.find('.') - 1);
    // About 100 bytes a socket; a busy machine has some tens of thousands.
    std::istringstream in(readRegularFile("/proc/net/unix", 64LL * 1024 * 1024).text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string column, inode, path;
        for (int i = 0; i < 6; ++i) fields >> column;
        fields >> inode >> path;
        if (path == "@/tmp/.X11-unix/X" + number || path == "/tmp/.X11-unix/X" + number)
            return "socket:[" + inode + "]";
    }
    return "";
}

}  // namespace

std::string virtualServerOf(const std::string& display) {
    const std::string socket = listeningSocket(display);
    if (socket.empty()) return "";
    std::error_code error;
    try {
        for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
            const std::string name = firstLineOf(process.path() / "comm");
            if (name != "Xvfb" && name != "Xvnc" && name != "Xephyr" && name != "Xdummy") continue;
            std::error_code fdError;
            for (const fs::directory_entry& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
                std::error_code linkError;
                if (fs::read_symlink(fd.path(), linkError).string() == socket) return name + " on " + display;
            }
        }
    } catch (const fs::filesystem_error&) {
        // Processes come and go while /proc is read; what was not seen stays unknown.
    }
    return "";
}

std::string warningKind(const std::string& warning) {
    std::string kind;
    for (size_t i = 0; i < warning.size(); ++i) {
        const bool digit = isdigit((unsigned char)warning[i]) != 0;
        const bool number = digit || (warning[i] == '.' && i > 0 && isdigit((unsigned char)warning[i - 1]));
        if (!number)
            kind += warning[i];
        else if (kind.empty() || kind.back() != '#')
            kind += '#';
    }
    return kind;
}
