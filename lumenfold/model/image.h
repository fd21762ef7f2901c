// A captured frame as lumenfold keeps and compares it: 8-bit RGB, rows from
// the top, and the hash that names its pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // width * height * 3 bytes, top row first
};

// FNV-1a, 64 bits, over the width, the height (4 bytes each, little-endian)
// and the pixel bytes. Header-only so that the capture library, which runs
// inside the programs, computes exactly what validate checks.
inline uint64_t pixelHash(int width, int height, const uint8_t* rgb) {
    uint64_t h = 14695981039346656037ull;
    auto mix = [&h](uint8_t byte) {
        h ^= byte;
        h *= 1099511628211ull;
    };
    for (int value : {width, height})
        for (int shift = 0; shift < 32; shift += 8) mix(uint8_t(uint32_t(value) >> shift));
    const size_t bytes = size_t(width) * size_t(height) * 3;
    for (size_t i = 0; i < bytes; ++i) mix(rgb[i]);
    return h;
}

inline uint64_t pixelHash(const Image& image) { return pixelHash(image.width, image.height, image.rgb.data()); }

// "fnv1a64:" and 16 lower-case hex digits: the form kept beside each PNG.
std::string hashText(uint64_t hash);
