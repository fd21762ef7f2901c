#include "lattice.h"

#include <cmath>

void emitLattice(LatticeSink sink) {
    double normal[3];
    double colour[3];
    double vertex[3];
    for (int i = 0; i < latticeAxisPoints; ++i) {
        const double x = i * latticeSpacing;
        for (int j = 0; j < latticeAxisPoints; ++j) {
            const double y = j * latticeSpacing;
            for (int k = 0; k < latticeAxisPoints; ++k) {
                const double z = k * latticeSpacing;
                // Multiples of 1/256 below 1: every square and their sum are exact.
                const double m = std::sqrt(z * z + y * y + x * x);
                if (m > 0.0) {
                    normal[0] = z / m;
                    normal[1] = y / m;
                    normal[2] = x / m;
                } else {
                    const double diagonal = 1.0 / std::sqrt(3.0);
                    normal[0] = diagonal;
                    normal[1] = diagonal;
                    normal[2] = diagonal;
                }
                colour[0] = y;
                colour[1] = z;
                colour[2] = x;
                vertex[0] = x;
                vertex[1] = y;
                vertex[2] = z;
                sink(normal, colour, vertex);
            }
        }
    }
}
