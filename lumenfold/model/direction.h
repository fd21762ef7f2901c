// Whether a larger value of a figure is better (rates) or worse (times).
#pragma once

enum class Direction { higherIsBetter, lowerIsBetter };
