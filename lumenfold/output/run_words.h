// A run's name, headline and problems in the words every format uses.
#pragma once

#include <string>

#include "model/results_file.h"

// "triangles", or "unrecognised".
std::string programLabel(const ResultsRun& run);
// "program cube, 5 frames, set-up 3.2 s; its own summary: ...".
std::string runHeadline(const ResultsRun& run);

// "file:line: message", the form every problem is shown in.
std::string problemText(const ResultsRun& run, const Problem& problem);
