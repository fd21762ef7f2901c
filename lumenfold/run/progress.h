// The one line that shows how a run is getting on, instead of the program's
// own console. Pure text: the driver decides where and how often it goes.
#pragma once

#include <string>

struct RunProgress {
    std::string program;      // "triangles"
    std::string ordinal;      // "run 2 of 5"
    int frames = 0;           // frames reported so far
    int frameTarget = 0;      // frames asked for; 0 when the run goes by time
    double secondsTarget = 0; // seconds asked for, counted from R
    double elapsed = 0;       // since the program started
    double running = -1;      // since R; negative while the program sets up
    double lastFrameAt = 0;   // since R, when the latest frame was reported
    std::string figure;       // the latest frame's figure with its unit; empty before the first
};

// "triangles, run 2 of 5: frame 3 of 50, 0:12 elapsed, about 1:40 left, 1.524e+06 triangles/s".
// The time left is estimated from the frames reported so far, counting down
// between them, once a frame has come (by frames) or R was pressed (by time).
std::string progressText(const RunProgress& progress);

// "0:07", "12:30", "1:02:03"; whole seconds, rounded up so that a run is
// never shown as done early.
std::string durationText(double seconds);
