#include "reference.h"

#include <cfloat>
#include <cmath>

double referenceFloatData[4096];
int64_t referenceIntegerData[4096];
bool referenceLogicData[4096];

void referenceFloat(uint64_t n) {
    const double stepExponent = double(1 / n);
    const double stepOffset = std::sin(std::sqrt(double(n * n)) * 90.0) * std::log(11.0);
    volatile uint64_t slot = 0;
    for (uint64_t i = 0; i < 134217728; ++i) {
        if (i < 4096)
            slot = i;
        else
            slot = i & 0xFFF;
        const double x = referenceFloatData[slot];
        const double p = std::pow(x, stepExponent);
        const double weight = double((i % (slot + 1)) >> 1);
        const double v = ((weight * (p - DBL_MIN)) + 5.28294562624475e269) - stepOffset;
        referenceFloatData[slot] = v;
    }
}

void referenceInteger(uint64_t n) {
    const double stepExponent = double(1 / n);
    const double stepOffset = std::sin(std::sqrt(double(n * n)) * 90.0) * std::log(11.0);
    volatile uint64_t slot = 0;
    for (uint64_t i = 0; i < 134217728; ++i) {
        if (i < 4096)
            slot = i;
        else
            slot = i & 0xFFF;
        const double x = double(referenceIntegerData[slot]);
        const double p = std::pow(x, stepExponent);
        const double weight = double((i % (slot + 1)) >> 1);
        const double v = ((weight * (p - 9223372036854775808.0)) + 4294967298.0) - stepOffset;
        if (v >= -0x1p63 && v < 0x1p63)
            referenceIntegerData[slot] = int64_t(v);
        else
            referenceIntegerData[slot] = INT64_MIN;
    }
}

void referenceLogic() {
    volatile uint64_t slot = 0;
    for (uint64_t i = 0; i < 134217728; ++i) {
        if (i < 4096)
            slot = i;
        else
            slot = i & 0xFFF;
        const bool t = double(~i) < DBL_MAX;
        referenceLogicData[slot] = t;
    }
}
