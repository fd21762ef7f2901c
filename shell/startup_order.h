// What runs before main, and in which order.
//
// 1. The clock takes its origin first of all, so that its readings count
//    from the start of the process (clock.cpp).
// 2. A workload's own start-up objects come next: triangles maps its 512 MiB
//    attribute buffer here, before anything is printed or opened, so a
//    machine without the memory learns it at once instead of after the
//    banner (triangles/workload.cpp).
// 3. The working directory is captured last, for the closing line that
//    names where the results file is (sinks.cpp).
//
// Each is a constructor function with one of these priorities; the compiler
// reserves those below 101.
#pragma once

constexpr int clockOriginPriority = 101;
constexpr int workloadStartPriority = 150;
constexpr int workingDirectoryPriority = 200;
