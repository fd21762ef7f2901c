#include "scene.h"

#include <cmath>

StepSceneValues stepSceneValues(double s) {
    const double a = std::atan(s);
    const double sn = std::sin(s);
    const double cs = std::cos(s);
    StepSceneValues v{};
    v.invAtan = float(1.0 / a);
    v.halfInvAtan = float(0.5 / a);
    v.sine = float(sn);
    v.halfSine = float(sn * 0.5);
    v.cosine = float(cs);
    v.halfCosine = float(cs * 0.5);
    // Truncate, then remainder 64 with the dividend's sign. fmod gives exactly
    // that for every step in 32-bit range and stays defined (and within GL's
    // 0..128) for steps beyond it, where an int conversion would not.
    v.shininess = float(std::fmod(std::trunc(s), 64.0));

    const float position[4] = {v.invAtan, v.sine, v.cosine, 1.0f};
    const float ambient[4] = {v.halfCosine, v.halfSine, v.halfInvAtan, 1.0f};
    const float diffuse[4] = {v.halfInvAtan, v.halfSine, v.halfCosine, 1.0f};
    const float emission[4] = {v.halfSine, v.halfInvAtan, v.halfCosine, 1.0f};
    for (int c = 0; c < 4; ++c) {
        v.position[c] = position[c];
        v.ambient[c] = ambient[c];
        v.diffuse[c] = diffuse[c];
        v.specular[c] = diffuse[c];
        v.emission[c] = emission[c];
    }
    for (int c = 0; c < 3; ++c) v.spotDirection[c] = position[c];
    return v;
}

float overlayGreyForStep(double s) { return float(s * 0.00390625); }
