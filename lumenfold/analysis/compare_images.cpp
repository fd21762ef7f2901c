#include "analysis/compare_images.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

std::string hashText(uint64_t hash) {
    char text[32];
    snprintf(text, sizeof text, "fnv1a64:%016" PRIx64, hash);
    return text;
}

namespace {

void extend(Box& box, int x, int y) {
    if (box.empty()) {
        box = Box{x, y, x, y};
        return;
    }
    box.left = std::min(box.left, x);
    box.right = std::max(box.right, x);
    box.top = std::min(box.top, y);
    box.bottom = std::max(box.bottom, y);
}

int largestChannelDifference(const uint8_t* a, const uint8_t* b) {
    int largest = 0;
    for (int c = 0; c < 3; ++c) largest = std::max(largest, std::abs(int(a[c]) - int(b[c])));
    return largest;
}

std::string boxText(const Box& box) {
    char text[96];
    snprintf(text, sizeof text, "x %d..%d, y %d..%d from the top left", box.left, box.right, box.top, box.bottom);
    return text;
}

}  // namespace

FrameComparison compareFrames(const Image& expected, const Image& drawn, const Tolerance& tolerance) {
    FrameComparison c;
    c.pixels = long(expected.width) * expected.height;
    if (expected.width != drawn.width || expected.height != drawn.height) {
        c.sizesDiffer = true;
        return c;
    }
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x) {
            const size_t at = (size_t(y) * size_t(expected.width) + size_t(x)) * 3;
            const int d = largestChannelDifference(&expected.rgb[at], &drawn.rgb[at]);
            if (d == 0) continue;
            ++c.differing;
            extend(c.differingBox, x, y);
            c.largestDifference = std::max(c.largestDifference, d);
            if (d <= tolerance.channelThreshold) continue;
            ++c.failing;
            extend(c.failingBox, x, y);
        }
    if (c.differing == 0)
        c.verdict = FrameVerdict::identical;
    else if (double(c.failing) <= tolerance.failingFraction * double(c.pixels))
        c.verdict = FrameVerdict::withinTolerance;
    return c;
}

const char* frameVerdictName(FrameVerdict verdict) {
    switch (verdict) {
        case FrameVerdict::identical:
            return "identical";
        case FrameVerdict::withinTolerance:
            return "matches within tolerance";
        case FrameVerdict::differs:
            break;
    }
    return "differs";
}

std::string describeComparison(const FrameComparison& c) {
    std::string text = frameVerdictName(c.verdict);
    if (c.sizesDiffer) return text + ": the frames differ in size";
    if (c.differing == 0) return text;
    char counts[160];
    snprintf(counts, sizeof counts, ": %ld of %ld pixels differ (largest by %d levels), %ld beyond the threshold",
             c.differing, c.pixels, c.largestDifference, c.failing);
    text += counts;
    if (c.failing > 0) text += ", within " + boxText(c.failingBox);
    return text;
}

Image differenceImage(const Image& expected, const Image& drawn, int gain) {
    Image out;
    out.width = std::min(expected.width, drawn.width);
    out.height = std::min(expected.height, drawn.height);
    out.rgb.assign(size_t(out.width) * size_t(out.height) * 3, 0);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int ch = 0; ch < 3; ++ch) {
                const int a = expected.rgb[(size_t(y) * size_t(expected.width) + size_t(x)) * 3 + size_t(ch)];
                const int b = drawn.rgb[(size_t(y) * size_t(drawn.width) + size_t(x)) * 3 + size_t(ch)];
                out.rgb[(size_t(y) * size_t(out.width) + size_t(x)) * 3 + size_t(ch)] =
                    uint8_t(std::min(255, std::abs(a - b) * gain));
            }
    return out;
}
