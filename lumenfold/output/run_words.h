// A run's name, headline and problems in the words every format uses.
#pragma once

#include <string>
#include <vector>

#include "model/results_file.h"

// "triangles", or "unrecognised".
std::string programLabel(const ResultsRun& run);
// "program cube, 5 frames, set-up 3.2 s; its own summary: ...".
std::string runHeadline(const ResultsRun& run);

// "file:line: message", the form every problem is shown in.
std::string problemText(const ResultsRun& run, const Problem& problem);

// For a timed run: where its timing came from, whether the GPU was timed
// (how, or why not) and the frames left untimed; none for a run not timed.
std::vector<std::string> timingLines(const ResultsRun& run);

// For a run sampled while it ran: its sensors' min / median / max, one line
// each, and each source of energy with energy per frame and frames per joule;
// none for a run without samples.
std::vector<std::string> machineLines(const ResultsRun& run);
