#pragma once

// The light, material and light-model values of one step, in the float form
// GL receives them; each is computed in double from the step and then rounded.
struct StepSceneValues {
    float invAtan, halfInvAtan, sine, halfSine, cosine, halfCosine, shininess;
    float position[4];
    float spotDirection[3];
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float emission[4];
};

StepSceneValues stepSceneValues(double s);

// Text grey level of the help overlay at step s: s/256, rounded to float.
float overlayGreyForStep(double s);
