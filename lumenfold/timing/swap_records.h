// What the timing library knows of each buffer swap without GL: the step it
// shows and the text of its lines in the timing file. Nothing here allocates;
// it runs inside the programs' frame loops.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/timing_file.h"

// Which step a swap shows. triangles and cube turn their scene by
// glRotated(s + 45, 1, 1, 1) once per frame, with s the step held exactly as
// a double, so the angle names the step whatever made GLUT draw; their steps
// only ever go up, so a step no higher than one already drawn is a redraw (an
// expose or a reshape). streaming never rotates: its frames are counted by
// the clear that opens each one, and the swaps of its kernel blocks, which
// follow no clear, continue the frame before them.
class SwapSteps {
public:
    struct Swap {
        long step = 0;
        SwapKind kind = SwapKind::more;
    };

    void cleared() {
        ++clears_;
        opened_ = true;
    }
    void rotated(double angle);
    Swap swapped();

private:
    long clears_ = 0;
    bool opened_ = false;   // a clear since the last swap
    long rotatedStep_ = 0;  // this drawing's step from its rotation; 0: none
    long current_ = 0;      // the step of the drawing under way
    long highest_ = 0;
};

// A line's longest text: a frame line, or a GPU line, with its newline.
constexpr size_t timingLineCapacity = 128;

// The text of a frame line, or a GPU line, into out (timingLineCapacity
// bytes); returns its length. A negative time was not measured.
size_t formatFrameLine(char* out, long long swap, const SwapSteps::Swap& what, long long presentNs, long long cpuNs);

enum class GpuOutcome { time, disjoint, overrun, impossible, untimed };
struct GpuResult {
    long long swap = 0;
    GpuOutcome outcome = GpuOutcome::time;
    uint64_t ns = 0;
};
size_t formatGpuLine(char* out, const GpuResult& result);
