// Options more than one command takes, declared once so that they read the
// same in every command's help.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "run/run_machine.h"

// Frames of a run when neither --frames nor --seconds is given.
constexpr int defaultFrames = 5;

// The names a program argument or --program takes.
const std::vector<std::string>& programChoices();

// --hang-timeout of run and suite.
void addRunLimits(CLI::App* command, RunLimits& limits);
// --skip-frames of report and compare.
void addSkipFrames(CLI::App* command, int& frames);
// --format of report and compare: the output formats' names.
void addFormat(CLI::App* command, std::string& format);
