// The table of programs: per program one entry that says everything
// lumenfold knows of it, and the registry every list of programs, every
// reader and every format iterates. A program is added by one entry (one
// file here, listed once in programs.cpp), never by edits elsewhere.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "programs/figure_entry.h"
#include "programs/program.h"
#include "programs/results_layout.h"
#include "text_format.h"

// How the console shows that a frame ended, and what `lumenfold run`'s
// progress line shows of it.
struct ConsoleFrame {
    // The report line that ends a frame; for a program of kernel blocks, the
    // line that ends each block, the last kernel's ending the frame.
    NumberLine endLine{"", ""};
    std::string unit;          // after the line's number in the progress: "triangles/s"
    int figureKernel = -1;     // kernel blocks: the kernel whose end line the progress shows
};

// How a frame's step is known.
struct FrameSteps {
    // > 0: a frame at step s draws countPerStep x (s + 1), as its count line
    // (LineField::triangles) reports; 0: the program's frames have no step.
    double countPerStep = 0;
    std::string countName;     // "triangles": the count in messages, tables and JSON
};

struct ProgramSpec {
    ProgramText text;                   // the shell's own: name, results-file name, title, window title
    ResultsLayout results;
    FrameSteps steps;
    std::vector<FigureSpec> figures;    // in the order every format lists them
    std::string mainFigure;             // the key of the figure a series is judged by
    ConsoleFrame console;
    std::vector<long long> validationSteps;   // captured when `validate` is given none

    const char* name() const { return text.name; }
    bool hasSteps() const { return steps.countPerStep > 0; }
};

// Every program, in the order every list shows them.
const std::vector<Program>& programs();
// Null when no program has this title line.
Program programOfTitle(std::string_view title);

std::vector<std::string> programNames();
// "triangles, cube or streaming", with the last two joined by `last`.
std::string programList(const std::string& last = "or");

// The fixed start of the program's results-file names, up to the date.
std::string resultsNamePrefix(Program program);
// The exact window title of the program.
const char* windowTitle(Program program);

// The step a frame that reports this count was drawn at; -1 for a count no
// step draws, and for every frame of a program without steps.
long stepOfCount(const ProgramSpec& program, double count);

// The program's figures in the order every format lists them.
const std::vector<FigureSpec>& programFigures(Program program);
// A figure by its key, per-step members included ("trianglesPerSecondStep12").
std::optional<FigureSpec> findFigure(Program program, const std::string& key);
// The figure a series of runs is judged by (for triangles, the family: take
// its member at the deepest step every run reached).
const FigureSpec& mainFigureSpec(Program program);

// Enters a program in the table, after the others, and returns it. Throws
// std::invalid_argument, entering nothing, for an entry the reader or the
// formats could not follow: a name or title already taken, a layout that
// does not start with the window line, a main figure not among its figures.
// Not safe while another thread reads the table.
Program registerProgram(ProgramSpec spec);
// Takes a program registered at run time out of the table again; its entry
// is gone, so nothing may hold it any more.
void unregisterProgram(Program program);
