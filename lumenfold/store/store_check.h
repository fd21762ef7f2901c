// A check of the whole store, sized for a fleet: its runs are read one
// machine's program at a time, and each group's series are checked on the
// usable cores while the next group is read, so that reading and checking
// overlap and only one group's frames are held at once.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "store/history_check.h"
#include "store/history_store.h"

struct StoreCheck {
    std::vector<StoredRun> runs;      // as listed: by machine, program and start
    std::vector<Series> series;       // in the order buildSeries gives over all runs
    std::vector<Finding> findings;    // in the series' order, as checkSeries gives them
    // Set before reading to keep every run's frames (a site shows excluded
    // runs from them): data then holds them, in the order of runs.
    bool keepData = false;
    std::vector<ResultsRun> data;
    StoreCheck() = default;
    StoreCheck(const StoreCheck&) = delete;   // series point into runs, findings into series
    StoreCheck& operator=(const StoreCheck&) = delete;
};

// What a long check says while it works: groups of runs read so far (of
// all), series built and series checked.
using CheckProgress = std::function<void(size_t groupsRead, size_t groups, size_t built, size_t checked)>;

// Reads and checks the runs of `check.runs` (as HistoryStore::list gives
// them, a machine's program after another), the figure alone when one is
// given: the same series and findings as reading every run, building every
// series and checking them in turn.
// threads 0: a thread per usable core. A failure to read is thrown once
// the threads have stopped.
void readAndCheck(HistoryStore& store, const std::string& figure, StoreCheck& check, unsigned threads = 0,
                  const CheckProgress& progress = {}, const ChangePointOptions& options = {});
