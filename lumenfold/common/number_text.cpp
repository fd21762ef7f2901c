#include "common/number_text.h"

#include <cmath>
#include <cstdio>

std::string numberText(double value, const NumberFormat& format) {
    if (std::isnan(value) || (format.finiteOnly && std::isinf(value))) return format.undefined;
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    // %f of the largest double runs to 309 digits before the point.
    char text[400];
    if (format.fixed)
        snprintf(text, sizeof text, "%.*f", format.digits, value);
    else
        snprintf(text, sizeof text, "%.*g", format.digits, value);
    return text;
}

nlohmann::json numberJson(double value) {
    if (!std::isfinite(value)) return nullptr;
    return value;
}
