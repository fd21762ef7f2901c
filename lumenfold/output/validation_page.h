// The page of one validation: per step, the expected frame, the drawn one
// and their amplified difference side by side, all inside the page.
#pragma once

#include <string>
#include <vector>

struct StepView {
    long long step = 0;
    std::string verdict;       // the console's line for the step
    bool differs = false;
    std::string expectedPng;   // PNG bytes; empty when the frame is missing
    std::string drawnPng;
    std::string differencePng;
};

struct ValidationSummary {
    std::string program;
    std::string drawnOn;       // renderer of the drawn run, as the probe read it
    std::string reference;     // "llvmpipe on a private Xvfb", or the directory
    std::string tolerance;     // in words
    int gain = 1;              // of the difference images
};

std::string validationPage(const ValidationSummary& summary, const std::vector<StepView>& steps,
                           const std::string& generator);
