#pragma once

#include <string>

struct RunOptions {
    std::string program;
    int frames = 0;              // stop once this many frames are reported; 0: by time
    double seconds = 0;          // or once this long has passed since R
    std::string directory;       // empty: the current directory
    double hangTimeout = 600;    // seconds without a new console line that count as a hang
    std::string command;         // lumenfold's own command line, for the context file
};

// `lumenfold run`: the exit status of lumenfold.
int runCommand(const RunOptions& options);
