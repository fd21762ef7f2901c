// The two report sinks, the console and the results file, and what goes to
// them in every program: the banner, the set-up line, frame blocks, the
// final summary and the closing line. No GL here: the GL part hands in the
// window number where a line needs it.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

#include "metrics.h"
#include "report.h"
#include "text_format.h"

// The working directory, captured before main; null when unreadable.
extern char* workingDirectory;
// The results file while it takes lines: null when it could not be created,
// after a write to it failed, and once it is closed.
extern FILE* resultsFile;
// The name of the file actually created, or of the one that could not be.
extern char resultsFileName[1024];

// Names the results file after the start time and creates it; when it
// cannot be created, says so on stderr and the run goes on without it.
void openResultsFile(const char* nameFormat, time_t when);
// Makes an open stream the results file, under the given name, with nothing
// written to it yet; null stands for a file that could not be created.
void useResultsFile(FILE* file, const char* name);
// Closes the results file, checked like every write to it.
void closeResultsFile();

// One line to the console, to the results file, or to both, console first.
// The first failed write to the results file is said once on stderr and
// ends the file there, cut back to its last whole line; the console goes on.
void consoleLine(const char* line);
void resultsLine(const char* line);
void reportLine(const char* line);
void reportEmptyLine();

// "window: N", with N asked afresh for each sink it is written to.
using WindowNumber = int (*)();
void consoleWindowLine(WindowNumber windowNumber);
void resultsWindowLine(WindowNumber windowNumber);
// A frame block of triangles or cube: the window line and the lines to the
// console, the same to the results file, then one empty line to each.
void reportFrame(WindowNumber windowNumber, const char (*lines)[reportLineCapacity], int count);

// The banner: console and results file, then the help lines and
// "Initializing . . ." on the console.
void printBanner(const ProgramText& text);
// "It spent: <s> Secs to Initialize." and two empty lines, to each sink.
void reportSetupTime(double seconds);
// The final summary of the given kind and its closing empty line, to each sink.
void reportSummary(SummaryKind kind, const RunTotals& totals);
// The console line that tells where the results are, or that they are not
// all there; the results file must be closed first.
std::string closingLine();
