#include "common/messages.h"

#include <cstdio>

void tell(const std::string& text) {
    fprintf(stderr, "lumenfold: %s\n", text.c_str());
    fflush(stderr);
}

void warn(const std::string& text) { tell("warning: " + text); }
