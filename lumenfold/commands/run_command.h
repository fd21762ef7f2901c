// `lumenfold run`: one run of a program, then its report.
#pragma once

#include "run/program_run.h"

// `lumenfold run`: the exit status of lumenfold.
int runCommand(const RunOptions& options);
