// The state of the machine before a run that can make its figures mislead:
// clocks that change, other work on the CPU, a software rasteriser, frames
// held to the display's refresh, an X server with no screen behind it.
#pragma once

#include <string>
#include <vector>

struct MachineConditions {
    std::vector<std::string> governors;  // the distinct frequency governors of the CPUs; empty when not shown
    int boost = -1;                      // 1 when boost (turbo) is on, 0 when off, -1 when not shown
    double loadAverage = -1;             // over the last minute at start; negative when unknown
    int processors = 0;                  // logical processors online
    std::string renderer;                // GL_RENDERER; empty when the probe could not tell
    bool swapKnown = false;
    int swapInterval = 0;                // in force, when known
    std::string virtualX;                // what shows the X server is virtual; empty when nothing does
};

// One line each, in the order of the fields.
std::vector<std::string> conditionWarnings(const MachineConditions& conditions);

// A warning with its readings left out ("load average # at start on # ..."):
// the same kind of problem on the next run of a series is not news.
std::string warningKind(const std::string& warning);

// The governors and boost as sysfs shows them under root (normally
// /sys/devices/system/cpu); the load average from a /proc/loadavg text.
void readCpuFrequency(const std::string& root, MachineConditions& conditions);
double parseLoadAverage(const std::string& procLoadavg);

// The name of a virtual X server process (Xvfb, Xvnc, Xephyr, Xdummy) that
// holds the listening socket of a local display such as ":3"; empty when
// none can be seen (a server of another user's is not readable).
std::string virtualServerOf(const std::string& display);
