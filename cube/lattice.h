#pragma once
#include <cstdint>

// The point lattice of cube: 256 points per axis, 1/256 apart, filling the
// unit cube from 0 up to 255/256 (1.0 itself is never reached).
constexpr int latticeAxisPoints = 256;
constexpr double latticeSpacing = 0.00390625;
constexpr uint32_t latticePointCount = 16777216;

// Receives one point: its normal, its colour (r, g, b) and its vertex, each
// three doubles, in the order they are to be handed to GL.
using LatticeSink = void (*)(const double normal[3], const double colour[3],
                             const double vertex[3]);

// Hands every lattice point to sink exactly once, i (x) outermost and k (z)
// fastest, so point n has i = n / 65536, j = (n / 256) % 256, k = n % 256.
// The normal is the unit position vector with its components reversed; the
// colour is (y, z, x). The origin has no direction of its own and gets the
// unit normal (1, 1, 1) / sqrt(3), so no not-a-number reaches the lighting.
void emitLattice(LatticeSink sink);
