// Work spread over the cores this process may use, for loops whose items
// are independent: each item's result goes to its own slot, so the outcome
// is the same in any order and on any number of threads.
#pragma once

#include <cstddef>
#include <functional>

// The processors this process may run on (its affinity mask, as systemd's
// CPUAffinity or taskset set it), at least 1.
unsigned usableCores();

// Calls work(i) once for every i in [0, count), on `threads` threads (at
// most count; 1 runs them here, in order). Meanwhile, every `everySeconds`,
// progress(done) is called on this thread when given. The first exception
// a call throws is thrown here once every thread has stopped; items not yet
// begun are then left undone.
void forEachIndex(size_t count, unsigned threads, const std::function<void(size_t i)>& work,
                  const std::function<void(size_t done)>& progress = {}, double everySeconds = 5);
