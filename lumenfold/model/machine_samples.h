// The samples file `lumenfold run` writes beside each results file: what the
// machine's sensors read while the program ran, one line per sample.
//
//   time[s],cpu0.clock[MHz],cpu0.busy[share],...,intel-rapl.0.energy[J]
//   0.000,2600,,...,0
//   0.100,2593.4,0.87,...,1.8312
//
// Comma-separated. The header names each column key[unit]; the first is the
// time since sampling began, in seconds. A value left empty could not be read
// at that moment (or, for a rate, has no earlier reading to go by). Energy
// columns (J) and counts count from the first sample, so they start at 0.
// The writer appends each line whole as it is taken; a file cut short by a
// killed run reads up to its last whole line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The column of the time.
inline constexpr std::string_view samplesTimeColumn = "time[s]";

// The samples file's name beside a results file: results_x.txt gives
// results_x.samples.csv.
std::string samplesPathFor(const std::string& resultsPath);

// What a key may hold: letters, digits and . _ - : +; anything else in a
// name taken from the machine becomes '_'.
std::string samplesKey(std::string_view text);
bool validSamplesKey(std::string_view key);

struct SamplesColumn {
    std::string key;    // "cpu0.clock"
    std::string unit;   // "MHz"
};

// The header line, newline included.
std::string samplesHeader(const std::vector<SamplesColumn>& columns);

struct MachineSamples {
    std::vector<SamplesColumn> columns;      // without the time
    std::vector<double> times;               // seconds, one per sample
    std::vector<std::vector<double>> values; // [column][sample]; NaN where empty
    // Lines that could not be taken, each with its line number; the path escaped.
    std::vector<std::string> problems;
};

// Parses a samples file's text; path only labels problems. A header that is
// not one gives no columns and one problem; a bad line is left out and named.
MachineSamples parseMachineSamples(const std::string& text, const std::string& path);
// Reads a regular file of reasonable size; a file that cannot be read gives
// no columns and one problem.
MachineSamples readMachineSamples(const std::string& path);

// Energy over the run from one source: the difference of an energy counter
// between its first and last readings, or else its power integrated over time
// (trapezoids between readings next to each other).
struct EnergyMeter {
    std::string key;          // the column it comes from
    bool fromCounter = false; // false: integrated power
    double joules = 0;
    double seconds = 0;       // the time the figure covers
    bool partial = false;     // covers less than the sampled time (readings missing)
};

struct SensorSummary {
    std::string key, unit;
    size_t count = 0;         // samples holding a value
    size_t missing = 0;       // samples without one
    double min = 0, median = 0, max = 0;  // NaN when count is 0
};

struct SamplesSummary {
    double seconds = 0;       // from the first sample to the last
    size_t samples = 0;
    std::vector<SensorSummary> sensors;   // in column order
    // One per source of energy: each energy column (J), and each power column
    // (W) that has no energy column beside it (same key up to its last '.').
    std::vector<EnergyMeter> energy;
};

SamplesSummary summariseSamples(const MachineSamples& samples);

// Energy per frame and frames per joule; nothing without frames or energy.
struct FrameEnergy {
    double joulesPerFrame = 0;
    double framesPerJoule = 0;
};
std::optional<FrameEnergy> frameEnergy(const EnergyMeter& meter, long frames);
