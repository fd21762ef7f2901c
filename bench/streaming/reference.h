#pragma once
#include <cstdint>

// Plain loops written straight from the steps of the three kernels, with
// arrays of their own, for the bench to run side by side with the kernels.
extern double referenceFloatData[4096];
extern int64_t referenceIntegerData[4096];
extern bool referenceLogicData[4096];

void referenceFloat(uint64_t n);
void referenceInteger(uint64_t n);
void referenceLogic();
