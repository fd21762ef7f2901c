// Prints a program's title, its results-file name format and its key help
// lines, one a line, from the same texts the program prints. The build makes
// the man pages from this; it needs no GL and opens no window.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "text_format.h"

int main(int argc, char** argv) {
    for (const ProgramText* text : {&trianglesText, &cubeText, &streamingText}) {
        if (argc != 2 || strcmp(argv[1], text->name) != 0) continue;
        puts(text->title);
        puts(text->resultsNameFormat);
        for (const char* line : text->helpLines) puts(line);
        return 0;
    }
    fprintf(stderr, "usage: %s triangles|cube|streaming\n", argv[0]);
    return 2;
}
