#include "common/version.h"

const char* lumenfoldVersion() { return LUMENFOLD_VERSION; }

std::string lumenfoldWithVersion() { return std::string("lumenfold ") + lumenfoldVersion(); }
