// The parts of `lumenfold run` that need no display: following a program's
// console output, naming what became of the process, and describing the
// machine for the context file.
#pragma once

#include <ctime>
#include <string>

#include <nlohmann/json.hpp>

#include "common/process.h"
#include "model/results_file.h"

// What the console output of a program has shown so far.
struct ConsoleWatch {
    Program program = nullptr;     // set before the first line
    int frames = 0;                 // complete frames reported
    bool setupDone = false;         // "It spent: ... Secs to Initialize." seen
    bool promptSeen = false;        // "Press Enter to Exit." seen
    bool resultsSaved = false;      // the closing line named a saved file
    bool resultsNotSaved = false;   // the closing line said the file could not be created
    bool resultsIncomplete = false; // the closing line said a write to the file failed
    std::string writeFailure;       // the program's stderr line about a failed write, if any
    std::string resultsPath;        // the path that closing line named
    int kernel = -1;                // kernel blocks: the kernel whose block the console is in
    std::string latestFigure;       // the latest frame's main figure as printed, with its unit
};

void watchConsoleLine(ConsoleWatch& watch, const std::string& line);
// The program's standard error: the line that says a write to its results file failed.
void watchErrorLine(ConsoleWatch& watch, const std::string& line);

// Why the results file does not hold what the console showed, in words;
// empty when it holds every frame and the program reported no failed write.
std::string resultsShortfall(const ConsoleWatch& watch, int framesInFile);


struct CpuInfo {
    std::string model;       // empty when the kernel does not say
    int logicalProcessors = 0;
    int cores = 0;           // physical cores; 0 when the kernel does not say
};

CpuInfo parseCpuInfo(const std::string& procCpuinfo);

// Processor, core counts and kernel of this machine.
nlohmann::json machineContext();

// Local time with its offset from UTC, e.g. "2026-12-07T14:05:09+01:00".
std::string isoLocalTime(time_t when);

// One command line as a shell would take it back.
std::string shellQuoted(int argc, char** argv);
