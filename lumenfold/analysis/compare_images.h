// The comparison of a drawn frame with its reference: no GL, no files.
#pragma once

#include <string>

#include "model/image.h"

// A pixel passes when no channel differs by more than channelThreshold; a
// frame matches within tolerance when the pixels that do not pass are at
// most failingFraction of all. Renderers legitimately differ in anti-aliased
// edges and in the last bits of lighting, never in whole regions.
struct Tolerance {
    int channelThreshold = 0;
    double failingFraction = 0;
};

enum class FrameVerdict { identical, withinTolerance, differs };

// Inclusive pixel coordinates, x from the left, y from the top.
struct Box {
    int left = 0, top = 0, right = -1, bottom = -1;
    bool empty() const { return right < left; }
};

struct FrameComparison {
    FrameVerdict verdict = FrameVerdict::differs;
    bool sizesDiffer = false;
    long pixels = 0;            // in one frame
    long differing = 0;         // any channel differs at all
    long failing = 0;           // some channel differs by more than the threshold
    int largestDifference = 0;  // over all channels and pixels
    Box differingBox;           // of the differing pixels
    Box failingBox;             // of the failing pixels
};

FrameComparison compareFrames(const Image& expected, const Image& drawn, const Tolerance& tolerance);

// "identical", "matches within tolerance", "differs".
const char* frameVerdictName(FrameVerdict verdict);

// One line for the console: the verdict with its counts and box.
std::string describeComparison(const FrameComparison& c);

// Each channel's absolute difference times gain, clipped to 255, so that
// a difference of one level shows; where sizes differ, the overlap only.
Image differenceImage(const Image& expected, const Image& drawn, int gain);
