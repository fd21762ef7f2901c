// The machine a run is made on, for its context file: the processor, its
// cores and the kernel.
#pragma once

#include <string>

#include "model/context_file.h"

struct CpuInfo {
    std::string model;       // empty when the kernel does not say
    int logicalProcessors = 0;
    int cores = 0;           // physical cores; 0 when the kernel does not say
};

CpuInfo parseCpuInfo(const std::string& procCpuinfo);

// Fills the context's processor and kernel from this machine.
void describeMachine(RunContext& context);
