// The lattice arithmetic, without a display: one full traversal is recorded
// once and every test reads from it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <set>
#include <vector>

#include "lattice.h"

namespace {

struct Point {
    double normal[3], colour[3], vertex[3];
};

const uint32_t sampleIndices[] = {0, 1, 256, 65536, 66050, 196612, 16777215};

uint32_t emitted = 0;
uint32_t vertexOutOfOrder = 0;     // vertex is not (i, j, k) / 256 for the count so far
uint32_t colourNotYZX = 0;
uint32_t normalNotFinite = 0;
uint32_t normalOffDirection = 0;   // not along (z, y, x), or pointing away from it
double worstLengthError = 0.0;
std::set<double> axisValues[3];
std::vector<Point> samples;

void record(const double normal[3], const double colour[3], const double vertex[3]) {
    const uint32_t n = emitted++;
    const double expected[3] = {double(n >> 16) / 256, double((n >> 8) & 255) / 256,
                                double(n & 255) / 256};
    if (vertex[0] != expected[0] || vertex[1] != expected[1] || vertex[2] != expected[2])
        ++vertexOutOfOrder;
    if (colour[0] != vertex[1] || colour[1] != vertex[2] || colour[2] != vertex[0]) ++colourNotYZX;
    // x and y repeat from point to point: look up only the values that change.
    static double previous[3] = {-1, -1, -1};
    for (int c = 0; c < 3; ++c)
        if (vertex[c] != previous[c]) axisValues[c].insert(previous[c] = vertex[c]);

    if (!std::isfinite(normal[0]) || !std::isfinite(normal[1]) || !std::isfinite(normal[2])) {
        ++normalNotFinite;
    } else {
        const double length =
            std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
        worstLengthError = std::fmax(worstLengthError, std::fabs(length - 1.0));
        if (n != 0) {
            // Direction (z, y, x): zero cross product, positive dot product.
            const double d[3] = {vertex[2], vertex[1], vertex[0]};
            const double cross[3] = {normal[1] * d[2] - normal[2] * d[1],
                                     normal[2] * d[0] - normal[0] * d[2],
                                     normal[0] * d[1] - normal[1] * d[0]};
            const double dot = normal[0] * d[0] + normal[1] * d[1] + normal[2] * d[2];
            const double tolerance = 1e-15;
            if (std::fabs(cross[0]) > tolerance || std::fabs(cross[1]) > tolerance ||
                std::fabs(cross[2]) > tolerance || !(dot > 0.0))
                ++normalOffDirection;
        }
    }
    for (uint32_t wanted : sampleIndices)
        if (n == wanted) {
            Point p;
            for (int c = 0; c < 3; ++c) {
                p.normal[c] = normal[c];
                p.colour[c] = colour[c];
                p.vertex[c] = vertex[c];
            }
            samples.push_back(p);
        }
}

class CubeLattice : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        emitLattice(record);
        ASSERT_EQ(samples.size(), std::size(sampleIndices));
    }

    static const Point& sample(uint32_t n) {
        for (size_t s = 0; s < std::size(sampleIndices); ++s)
            if (sampleIndices[s] == n) return samples[s];
        throw std::logic_error("not a sampled index");
    }

    static void expectTriple(const double* actual, double a, double b, double c, const char* what) {
        EXPECT_EQ(actual[0], a) << what << "[0]";
        EXPECT_EQ(actual[1], b) << what << "[1]";
        EXPECT_EQ(actual[2], c) << what << "[2]";
    }
};

TEST_F(CubeLattice, EmitsEveryPointOnceWithKFastest) {
    EXPECT_EQ(emitted, 16777216u);
    EXPECT_EQ(emitted, latticePointCount);
    EXPECT_EQ(vertexOutOfOrder, 0u);
}

TEST_F(CubeLattice, EachAxisHasItsOwn256StepsEndingShortOfOne) {
    for (int axis = 0; axis < 3; ++axis) {
        const std::set<double>& values = axisValues[axis];
        EXPECT_EQ(values.size(), 256u) << "axis " << axis;
        EXPECT_EQ(*values.begin(), 0.0) << "axis " << axis;
        EXPECT_EQ(*values.rbegin(), 0.99609375) << "axis " << axis;
        // Evenly spaced by exactly 1/256: no value repeated or skipped.
        double previous = -0.00390625;
        for (double v : values) {
            EXPECT_EQ(v - previous, 0.00390625) << "axis " << axis << " at " << v;
            previous = v;
        }
    }
}

TEST_F(CubeLattice, ColourIsTheVertexReadAsYZX) { EXPECT_EQ(colourNotYZX, 0u); }

TEST_F(CubeLattice, EveryNormalIsAFiniteUnitVectorAlongTheReversedPosition) {
    EXPECT_EQ(normalNotFinite, 0u);
    EXPECT_EQ(normalOffDirection, 0u);
    EXPECT_LT(worstLengthError, 4e-16);
}

TEST_F(CubeLattice, OriginIsBlackWithTheUnitDiagonalAsNormal) {
    const Point& origin = sample(0);
    expectTriple(origin.vertex, 0, 0, 0, "vertex");
    expectTriple(origin.colour, 0, 0, 0, "colour");
    const double diagonal = 1.0 / std::sqrt(3.0);
    expectTriple(origin.normal, diagonal, diagonal, diagonal, "normal");
}

TEST_F(CubeLattice, PointsAlongOneAxisTakeTheNormalOfTheMirroredAxis) {
    const Point& p1 = sample(1);  // (0, 0, 1)
    expectTriple(p1.vertex, 0, 0, 0.00390625, "vertex");
    expectTriple(p1.normal, 1, 0, 0, "normal");
    expectTriple(p1.colour, 0, 0.00390625, 0, "colour");

    const Point& p256 = sample(256);  // (0, 1, 0)
    expectTriple(p256.vertex, 0, 0.00390625, 0, "vertex");
    expectTriple(p256.normal, 0, 1, 0, "normal");
    expectTriple(p256.colour, 0.00390625, 0, 0, "colour");

    const Point& p65536 = sample(65536);  // (1, 0, 0)
    expectTriple(p65536.vertex, 0.00390625, 0, 0, "vertex");
    expectTriple(p65536.normal, 0, 0, 1, "normal");
    expectTriple(p65536.colour, 0, 0, 0.00390625, "colour");
}

TEST_F(CubeLattice, PythagoreanPointsGiveExactRationalNormals) {
    const Point& p = sample(66050);  // (1, 2, 2): length 3/256
    expectTriple(p.vertex, 0.00390625, 0.0078125, 0.0078125, "vertex");
    expectTriple(p.normal, 2.0 / 3.0, 2.0 / 3.0, 1.0 / 3.0, "normal");
    expectTriple(p.colour, 0.0078125, 0.0078125, 0.00390625, "colour");

    const Point& q = sample(196612);  // (3, 0, 4): length 5/256
    expectTriple(q.vertex, 0.01171875, 0, 0.015625, "vertex");
    expectTriple(q.normal, 0.8, 0, 0.6, "normal");
    expectTriple(q.colour, 0, 0.015625, 0.01171875, "colour");
}

TEST_F(CubeLattice, LastPointIsTheFarCornerShortOfOne) {
    const Point& p = sample(16777215);  // (255, 255, 255)
    expectTriple(p.vertex, 0.99609375, 0.99609375, 0.99609375, "vertex");
    expectTriple(p.colour, 0.99609375, 0.99609375, 0.99609375, "colour");
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(p.normal[c], 0.5773502691896258, 2e-16) << c;
    EXPECT_EQ(p.normal[0], p.normal[1]);
    EXPECT_EQ(p.normal[1], p.normal[2]);
}

}  // namespace
