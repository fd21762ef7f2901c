#include "fill.h"

#include <cmath>

double attributeElement(size_t k) {
    const double x = double(k);
    return (std::cos(x) + std::sin(x)) * std::tan(x);
}

void fillAttributes(double* buffer, size_t count) {
    for (size_t k = 0; k < count; ++k) buffer[k] = attributeElement(k);
}

double indexCountForStep(double s) {
    const double count = s * 3600 + 3600;
    return count < maxIndexCount ? count : maxIndexCount;
}
