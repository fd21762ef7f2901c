// lumenfold's own command line, as context files record it.
#pragma once

#include <string>

// One command line as a shell would take it back.
std::string shellQuoted(int argc, char** argv);
