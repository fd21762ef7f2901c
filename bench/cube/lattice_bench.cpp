// How much of cube's set-up is its own arithmetic and how much the driver's
// recording of the list. Rounds alternate the lattice alone (every point
// computed and handed to a sink that keeps nothing) with the whole setupCube
// in a real window, so both see the same machine state; the medians and
// their ratio are printed.
//
// Usage: lattice_bench [rounds]   (default 3; needs DISPLAY for the set-up)
#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "lattice.h"
#include "workload.h"
#include "bench_timing.h"

namespace {

double sinkTotal = 0.0;

// Touches one value per point so the sink is a real call with a visible effect.
void keepNothing(const double*, const double*, const double* vertex) { sinkTotal += vertex[2]; }

double timeLatticeAlone() {
    const auto start = std::chrono::steady_clock::now();
    emitLattice(keepNothing);
    return secondsSince(start);
}

double timeSetup() {
    if (cubeList != 0) glDeleteLists(cubeList, 1);
    glFinish();
    const auto start = std::chrono::steady_clock::now();
    setupCube();
    glFinish();
    return secondsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const bool withDisplay = getenv("DISPLAY") != nullptr;
    if (withDisplay) {
        int glutArgc = 1;
        glutInit(&glutArgc, argv);
        glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_ACCUM | GLUT_ALPHA | GLUT_DEPTH |
                            GLUT_STENCIL | GLUT_MULTISAMPLE);
        glutInitWindowSize(1080, 1080);
        glutInitWindowPosition(350, 65);
        glutCreateWindow("lattice bench");
    }

    std::vector<double> alone, setup;
    for (int round = 1; round <= rounds; ++round) {
        alone.push_back(timeLatticeAlone());
        std::printf("round %d: lattice alone %.3f s", round, alone.back());
        if (withDisplay) {
            setup.push_back(timeSetup());
            std::printf(", setupCube %.3f s, share %.1f %%", setup.back(),
                        100.0 * alone.back() / setup.back());
        }
        std::printf("\n");
    }

    std::printf("lattice alone (%u points): median %.3f s, %.1f ns per point\n",
                latticePointCount, median(alone), 1e9 * median(alone) / latticePointCount);
    if (withDisplay) {
        const double share = median(alone) / median(setup);
        std::printf("setupCube with the driver's recording: median %.3f s\n", median(setup));
        std::printf("share of set-up outside the driver: %.3f (%.1f %%); driver %.1f %%\n", share,
                    100.0 * share, 100.0 * (1.0 - share));
    } else {
        std::printf("no DISPLAY: set-up not timed\n");
    }
    std::printf("(checksum %.1f)\n", sinkTotal);
    return 0;
}
