// PNG files of captured frames, through libpng. Shared by validate and the
// capture library inside the programs, so it prints nothing and never exits.
#pragma once

#include <string>

#include "model/image.h"

// A frame is at most a few screens: an image wider or higher is damage.
constexpr int maxPngSide = 16384;
// The largest PNG file read: the largest image's pixels, with room for
// the filter bytes and framing that incompressible pixels cost.
constexpr long long maxPngFileBytes = 3LL * maxPngSide * maxPngSide * 21 / 20;

// Written whole (common/files), so a frame cut short by a full disk never
// stands under the final name. False, with the reason, on failure.
bool writePng(const std::string& path, const Image& image, std::string& error);

// 8-bit RGB, or anything libpng can turn into it (grey, palette, alpha
// dropped, 16-bit stripped). False, with the reason, for a damaged file or
// one that is not a regular file of at most maxPngFileBytes.
bool readPng(const std::string& path, Image& image, std::string& error);
