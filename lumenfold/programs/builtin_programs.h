// The programs built into lumenfold, each entry in a file of its own. Only
// the table (programs.cpp) takes them; everything else asks the table.
#pragma once

#include "programs/programs.h"

ProgramSpec trianglesProgram();
ProgramSpec cubeProgram();
ProgramSpec streamingProgram();
