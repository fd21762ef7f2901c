// lumenfold's version, as the build gives it: the one place that knows it,
// so that --version, the context files and every page say the same.
#pragma once

#include <string>

// "0.1.0".
const char* lumenfoldVersion();
// "lumenfold 0.1.0": what pages name as their writer.
std::string lumenfoldWithVersion();
