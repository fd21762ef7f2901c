#include "report.h"

#include <cmath>
#include <cstring>

void formatNumber(char* out, size_t capacity, double value) {
    if (std::isnan(value)) {
        snprintf(out, capacity, "-nan(ind)");
    } else if (std::isinf(value)) {
        snprintf(out, capacity, value > 0 ? "inf" : "-inf");
    } else {
        snprintf(out, capacity, "%g", value);
    }
}

void formatNumberLine(char* out, const char* prefix, double value, const char* suffix) {
    char number[48];
    formatNumber(number, sizeof number, value);
    snprintf(out, reportLineCapacity, "%s%s%s", prefix, number, suffix);
}

void formatNumberLine(char* out, NumberLine format, double value) {
    formatNumberLine(out, format.prefix, value, format.suffix);
}

void formatIntegerLine(char* out, const char* prefix, long value) {
    snprintf(out, reportLineCapacity, "%s%ld", prefix, value);
}

bool writeLineTo(FILE* sink, const char* text) {
    if (sink == nullptr) return true;
    // Every step is tried even after one fails, so the console (which is
    // never given up) behaves as before; the first failure decides.
    bool written = fputs(text, sink) != EOF;
    written = fputc('\n', sink) != EOF && written;
    written = fflush(sink) == 0 && written;
    return written;
}
