// A run's frames as the store keeps them: one row per kernel (-1 for the
// frames of a program of frame blocks, 0, 1, ... for the blocks of each
// kernel of a program of kernel blocks) whose
// columns each hold every frame's value, packed. A row per frame cost the
// store several times what reading the results file costs; a row per
// kernel costs next to nothing and keeps every value to the bit.
//
// The packing is fixed, whatever the machine: little-endian, 4 bytes for a
// line number, 8 for a window number, IEEE double for the figures, a
// missing figure kept as the not-a-number the reader gave.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "model/results_file.h"

struct FrameColumns {
    int kernel = -1;
    int count = 0;
    std::string firstLine, window, seconds, rate;
    std::string triangles, anglesPerSecond;   // frames only; empty for kernel blocks

    // The packed columns in the table's order, from first_line to
    // angles_per_second; null where the row stores NULL (a kernel block's
    // triangles and angles).
    std::array<const std::string*, 6> stored() const {
        const bool frames = kernel < 0;
        return {&firstLine, &window, &seconds, &rate, frames ? &triangles : nullptr,
                frames ? &anglesPerSecond : nullptr};
    }
};

// The run's frames and kernel blocks; kernels without a block are left out.
std::vector<FrameColumns> packFrames(const ResultsRun& run);

// Appends the row's frames (or kernel blocks) to the run, whose program is
// set: each frame's step follows from its count as the reader's did. False,
// with the run unchanged and error set, when a column's length disagrees
// with the count or the program has no such kernel: a damaged store is
// said, never misread.
bool unpackFrames(const FrameColumns& columns, ResultsRun& run, std::string& error);
