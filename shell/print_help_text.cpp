// Prints a program's title, its results-file name format and its key help
// lines, one a line, from the table the program itself prints them from. The
// build makes the man pages from this; it opens no window.
#include <cstdio>

#include "shell.h"

int main() {
    puts(programValues.title);
    puts(programValues.resultsNameFormat);
    for (const char* line : programValues.helpLines) puts(line);
    return 0;
}
