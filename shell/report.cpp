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

void formatIntegerLine(char* out, const char* prefix, long value) {
    snprintf(out, reportLineCapacity, "%s%ld", prefix, value);
}

void writeLineTo(FILE* sink, const char* text) {
    if (sink == nullptr) return;
    fputs(text, sink);
    fputc('\n', sink);
    fflush(sink);
}
