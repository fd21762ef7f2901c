#pragma once

// Asks the driver not to wait for the vertical refresh at each buffer swap,
// reads back what is in force and returns it: 0 when swaps no longer wait,
// the interval when they still do, -1 when the driver offers no way to tell.
// Must run with the window's context current.
int requestSwapIntervalZero();

// The warning for an interval in force, or null when frames are not capped.
const char* swapIntervalWarning(int intervalInForce);
