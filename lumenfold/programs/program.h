// A program of the table, as the results of a run name it: a handle to its
// entry (programs.h), which stays put while the program is in the table,
// so a program is compared by it. Light enough for every header that only
// carries a program along.
#pragma once

#include <string_view>

struct ProgramSpec;
using Program = const ProgramSpec*;

// Null when no program has this name.
Program findProgram(std::string_view name);
// "triangles"; "?" for no program.
const char* programName(Program program);
