// Options more than one command takes, declared once so that they read the
// same in every command's help.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "run/run_machine.h"

// Frames of a run when neither --frames nor --seconds is given.
constexpr int defaultFrames = 5;

// A number in (low, high], or [low, high] when low is included. CLI11's own
// checks let "nan" through (no comparison with it fails), which made a run
// by time never end and switched the hang timeout off, and show an open
// range as a number of 300 digits.
CLI::Validator numberIn(double low, double high, bool lowIncluded, const std::string& what);
// Up to about 31 years: a limit, never a time that overflows on its way to a clock.
CLI::Validator positiveSeconds();

// --hang-timeout of run and suite.
void addRunLimits(CLI::App* command, RunLimits& limits);
// --sample-interval of run and suite; `where` ends its help.
void addSampleInterval(CLI::App* command, int& milliseconds, const std::string& help);
// --timing of run and suite.
void addTiming(CLI::App* command, bool& timing);
// --label NAME=VALUE of run and suite, repeatable; given, it is checked and
// taken into labels when the command line is read.
void addLabels(CLI::App* command, std::vector<std::string>& given, std::map<std::string, std::string>& labels);
// --no-wait of the commands that hold the machine.
void addNoWait(CLI::App* command, bool& noWait);
// --skip-frames of report and compare.
void addSkipFrames(CLI::App* command, int& frames);
// --format of report, compare and history's list and check: the output formats' names.
void addFormat(CLI::App* command, std::string& format);
