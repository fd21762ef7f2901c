// How a program lays out its results file after the title and set-up lines,
// which every program writes alike: the lines of a frame, of its final
// summary, or of each kernel's block. The reader matches a file against
// these layouts line by line and keeps each line's figure in its field.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "text_format.h"

// What one line of a block must be.
enum class LineKind { literal, number, integer };

struct LinePattern {
    LineKind kind;
    std::string_view prefix;   // the whole text for literal lines
    std::string_view suffix;
};

// What the number on a line is, in the frame, kernel block or summary read.
enum class LineField {
    none,
    window,            // the window's number, first line of every block
    triangles,         // what the frame drew, as it reports it
    seconds,           // the frame's (or the block's) time
    anglesPerSecond,   // its frame rate
    rate,              // its rate: triangles/s, vertices/s, millions of executions/s
    totalSeconds,      // summary: the frames' time together
    averageAngles,     // summary: frames / total time
    averageVertices,   // summary: frames x the count per frame / total time
};

struct LayoutLine {
    LinePattern pattern;
    LineField field;
};
using BlockLayout = std::vector<LayoutLine>;

// The most lines a block may have; the reader keeps a block's values in an
// array of this size rather than allocating per block.
constexpr size_t maxBlockLines = 8;

constexpr LinePattern literalLine(std::string_view text) { return {LineKind::literal, text, ""}; }
constexpr LinePattern numberLine(NumberLine format) { return {LineKind::number, format.prefix, format.suffix}; }
inline constexpr LinePattern windowLine{LineKind::integer, windowLinePrefix, ""};
inline constexpr LinePattern emptyLine{LineKind::literal, "", ""};

// How a rate line is checked against the time line of its block: the count
// over the time, divided by scale.
struct RateCheck {
    std::string rateName;        // "triangles/s", for messages
    std::string formula;         // "triangles / frame time"
    double countPerBlock = 0;    // 0: the frame's own count (its triangles line)
    double scale = 1;            // 1,000,000 for a rate in millions
    // The summary's average rate line: frames x countPerBlock / total time.
    std::string averageFormula;  // "frames read x 16777216 / total running time"
};

// One kernel's block of a frame made of kernel blocks.
struct KernelLayout {
    std::string name;     // "float": figure keys, JSON keys, messages
    BlockLayout block;    // from its window line to the empty line that ends it
};

struct ResultsLayout {
    // A program whose every frame is one block, closed by a final summary...
    BlockLayout frame;
    BlockLayout summary;        // empty: the program writes none
    // ...or one whose frame is one block per kernel, in this order (frame empty).
    std::vector<KernelLayout> kernels;
    size_t frameClosingLines = 0;   // empty lines after the last kernel's block
    // frame: its rate line; kernels: each block's rate line.
    RateCheck rate;

    bool byKernel() const { return !kernels.empty(); }
};

// The line that names a kernel's block: the first literal line that is not
// empty. Empty when the block has none (registration refuses that).
std::string_view kernelNameLine(const KernelLayout& kernel);
// Whether a layout has a line for this field.
bool hasField(const BlockLayout& layout, LineField field);
