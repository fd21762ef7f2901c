// Files lumenfold writes whole (pages, images): written beside their final
// name and moved there, so that one that cannot be finished never replaces
// a good one and nobody opens a half-written one.
#pragma once

#include <string>

// False with error set (for people; the paths as given) when the file is not
// in place; nothing is left behind then.
bool writeWholeFile(const std::string& path, const std::string& content, std::string& error);
