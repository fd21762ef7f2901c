// PNG files of captured frames, through libpng. Shared by validate and the
// capture library inside the programs, so it prints nothing and never exits.
#pragma once

#include <string>

#include "model/image.h"

// Writes path + ".partial" and renames it, so a frame cut short by a full
// disk never stands under the final name. False, with the reason, on failure.
bool writePng(const std::string& path, const Image& image, std::string& error);

// 8-bit RGB, or anything libpng can turn into it (grey, palette, alpha
// dropped, 16-bit stripped). False, with the reason, for a damaged file.
bool readPng(const std::string& path, Image& image, std::string& error);
