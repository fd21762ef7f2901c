// Following a program's console output: its frames, its closing lines,
// and a failed write it reports on standard error. No process in sight.
#pragma once

#include <string>

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
