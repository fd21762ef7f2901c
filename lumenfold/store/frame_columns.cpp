#include "store/frame_columns.h"

#include <bit>
#include <cstdint>

#include "programs/programs.h"

namespace {

template <typename Bits>
void put(std::string& out, Bits bits) {
    for (size_t i = 0; i < sizeof bits; ++i) out += char((bits >> (8 * i)) & 0xff);
}

template <typename Bits>
Bits take(const std::string& column, size_t index) {
    Bits bits = 0;
    for (size_t i = 0; i < sizeof bits; ++i)
        bits |= Bits(static_cast<unsigned char>(column[index * sizeof bits + i])) << (8 * i);
    return bits;
}

void putLine(std::string& out, int line) { put(out, uint32_t(line)); }
void putWindow(std::string& out, long window) { put(out, uint64_t(window)); }
void putValue(std::string& out, double value) { put(out, std::bit_cast<uint64_t>(value)); }

int lineAt(const std::string& column, size_t i) { return int(take<uint32_t>(column, i)); }
long windowAt(const std::string& column, size_t i) { return long(take<uint64_t>(column, i)); }
double valueAt(const std::string& column, size_t i) { return std::bit_cast<double>(take<uint64_t>(column, i)); }

FrameColumns reserved(int kernel, size_t count, bool frames) {
    FrameColumns c;
    c.kernel = kernel;
    c.count = int(count);
    c.firstLine.reserve(4 * count);
    for (std::string* column : {&c.window, &c.seconds, &c.rate}) column->reserve(8 * count);
    if (frames)
        for (std::string* column : {&c.triangles, &c.anglesPerSecond}) column->reserve(8 * count);
    return c;
}

bool sized(const std::string& column, size_t count, size_t width) { return column.size() == count * width; }

}  // namespace

std::vector<FrameColumns> packFrames(const ResultsRun& run) {
    std::vector<FrameColumns> out;
    if (!run.frames.empty()) {
        FrameColumns c = reserved(-1, run.frames.size(), true);
        for (const Frame& f : run.frames) {
            putLine(c.firstLine, f.firstLine);
            putWindow(c.window, f.window);
            putValue(c.seconds, f.seconds);
            putValue(c.rate, f.rate);
            putValue(c.triangles, f.triangles);
            putValue(c.anglesPerSecond, f.anglesPerSecond);
        }
        out.push_back(std::move(c));
    }
    for (size_t k = 0; k < run.kernels.size(); ++k) {
        if (run.kernels[k].empty()) continue;
        FrameColumns c = reserved(int(k), run.kernels[k].size(), false);
        for (const KernelBlock& b : run.kernels[k]) {
            putLine(c.firstLine, b.firstLine);
            putWindow(c.window, b.window);
            putValue(c.seconds, b.seconds);
            putValue(c.rate, b.millionsPerSecond);
        }
        out.push_back(std::move(c));
    }
    return out;
}

bool unpackFrames(const FrameColumns& c, ResultsRun& run, std::string& error) {
    const size_t n = c.count < 0 ? 0 : size_t(c.count);
    const bool frames = c.kernel < 0;
    if (c.count < 0 || c.kernel < -1 || (c.kernel >= 0 && size_t(c.kernel) >= run.kernels.size())) {
        error = "a row of frames has kernel " + std::to_string(c.kernel) + " and count " + std::to_string(c.count);
        return false;
    }
    bool whole = sized(c.firstLine, n, 4) && sized(c.window, n, 8) && sized(c.seconds, n, 8) && sized(c.rate, n, 8);
    if (frames) whole = whole && sized(c.triangles, n, 8) && sized(c.anglesPerSecond, n, 8);
    if (!whole) {
        error = "the stored frames of kernel " + std::to_string(c.kernel) + " do not hold " + std::to_string(n) +
                " values each";
        return false;
    }
    if (frames) {
        run.frames.reserve(run.frames.size() + n);
        for (size_t i = 0; i < n; ++i) {
            const double triangles = valueAt(c.triangles, i);
            const long step = run.program != nullptr ? stepOfCount(*run.program, triangles) : -1;
            run.frames.push_back(Frame{lineAt(c.firstLine, i), windowAt(c.window, i), triangles, valueAt(c.seconds, i),
                                       valueAt(c.anglesPerSecond, i), valueAt(c.rate, i), step});
        }
        return true;
    }
    std::vector<KernelBlock>& blocks = run.kernels[size_t(c.kernel)];
    blocks.reserve(blocks.size() + n);
    for (size_t i = 0; i < n; ++i)
        blocks.push_back(KernelBlock{lineAt(c.firstLine, i), windowAt(c.window, i), valueAt(c.seconds, i),
                                     valueAt(c.rate, i)});
    return true;
}
