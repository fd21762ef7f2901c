// What a validation captures and how closely frames must agree: no display,
// no files.
#pragma once

#include <string>
#include <vector>

#include "analysis/compare_images.h"

// "1,3,5" into steps from 1 to 1,000,000, ascending and unique; false for anything else.
bool parseSteps(const std::string& text, std::vector<long long>& steps);
// Steps back into "1,3,5", as --steps and the capture library take them.
std::string stepsText(const std::vector<long long>& steps);

// The steps captured when none are asked for, as the program's table entry
// gives them; none for a name no program has. Each costs a frame at every
// step up to it, and a software renderer draws slowly.
std::vector<long long> defaultSteps(const std::string& program);

// Set from softpipe against llvmpipe on the default steps, with a margin;
// README gives the measured figures.
// "triangles 1,3; cube 1,2; streaming 1,2": every program's default.
std::string defaultStepsText();

Tolerance defaultTolerance();
std::string toleranceText(const Tolerance& tolerance);

// Where a library lumenfold preloads into the programs may be, best first:
// installed beside lumenfold (bin/../lib/lumenfold/NAME), then the build
// tree (lumenfold/BUILDFOLDER/NAME).
std::vector<std::string> preloadLibraryCandidates(const std::string& lumenfoldBinary, const std::string& buildFolder,
                                                  const std::string& name);
// The capture library's places.
std::vector<std::string> captureLibraryCandidates(const std::string& lumenfoldBinary);

// The user's LD_PRELOAD with a preloaded library of lumenfold's added after it.
std::string preloadWith(const char* userPreload, const std::string& library);
