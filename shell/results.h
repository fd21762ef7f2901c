#pragma once
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string>

// The results-file name for a start time, from the program's strftime format.
void formatResultsName(char* out, size_t capacity, const char* format, time_t when);

// The name to try on the given attempt: the base name itself on attempt 1,
// then "name (2).txt", "name (3).txt", ... so a second run started in the
// same second writes beside the first one instead of over it.
void candidateResultsName(char* out, size_t capacity, const char* baseName, int attempt);

// Creates the results file exclusively under the first free candidate name,
// written into chosenName. Returns null with errno set when no file could be
// created (a clash is retried; any other failure is final).
FILE* createResultsFile(const char* baseName, char* chosenName, size_t capacity);

// Directory, "/", file name, never cut short; the name alone without a directory.
std::string resultsPathFor(const char* directory, const char* fileName);
