#include "model/machine_samples.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "common/display_text.h"
#include "common/files.h"
#include "model/results_file.h"
#include "text_format.h"

namespace {

constexpr double unknown = std::numeric_limits<double>::quiet_NaN();

// Samples every 100 ms for a day take about 860,000 lines; a file far
// larger than a run could write is not read.
constexpr long long maxSamplesFileBytes = 512LL * 1024 * 1024;

bool keyCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-' || c == ':' || c == '+';
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos) return fields;
        start = comma + 1;
    }
}

// "key[unit]" as the writer puts it; false for anything else.
bool parseColumn(std::string_view field, SamplesColumn& column) {
    const size_t open = field.find('[');
    if (open == std::string_view::npos || open == 0 || !field.ends_with(']')) return false;
    const std::string_view key = field.substr(0, open);
    const std::string_view unit = field.substr(open + 1, field.size() - open - 2);
    if (!validSamplesKey(key) || unit.find_first_of("[]") != std::string_view::npos) return false;
    column = {std::string(key), std::string(unit)};
    return true;
}

// An empty field is a value that was not read; anything else must be one finite number.
bool parseValue(std::string_view field, double& value) {
    if (field.empty()) {
        value = unknown;
        return true;
    }
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return error == std::errc() && end == field.data() + field.size() && std::isfinite(value);
}

// Why a line is left out, or empty when it is taken.
std::string takeLine(std::string_view line, MachineSamples& samples) {
    const std::vector<std::string_view> fields = splitFields(line);
    if (fields.size() != samples.columns.size() + 1)
        return std::to_string(fields.size()) + " fields where the header names " +
               std::to_string(samples.columns.size() + 1);
    double time = 0;
    if (fields[0].empty() || !parseValue(fields[0], time)) return "the time is not a number";
    if (!samples.times.empty() && time < samples.times.back()) return "the time goes back";
    std::vector<double> row(samples.columns.size());
    for (size_t i = 0; i < row.size(); ++i)
        if (!parseValue(fields[i + 1], row[i])) return "the value of " + samples.columns[i].key + " is not a number";
    samples.times.push_back(time);
    for (size_t i = 0; i < row.size(); ++i) samples.values[i].push_back(row[i]);
    return {};
}

std::string parseHeader(std::string_view line, MachineSamples& samples) {
    const std::vector<std::string_view> fields = splitFields(line);
    if (fields[0] != samplesTimeColumn) return "not a samples file: the first line does not begin with time[s]";
    for (size_t i = 1; i < fields.size(); ++i) {
        SamplesColumn column;
        if (!parseColumn(fields[i], column))
            return "not a samples file: column " + std::to_string(i + 1) + " is not named key[unit]";
        samples.columns.push_back(std::move(column));
    }
    samples.values.resize(samples.columns.size());
    return {};
}

double medianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

SensorSummary summariseColumn(const SamplesColumn& column, const std::vector<double>& values) {
    SensorSummary summary{column.key, column.unit};
    std::vector<double> present;
    for (double v : values)
        if (!std::isnan(v)) present.push_back(v);
    summary.count = present.size();
    summary.missing = values.size() - present.size();
    if (present.empty()) {
        summary.min = summary.median = summary.max = unknown;
        return summary;
    }
    const auto [low, high] = std::minmax_element(present.begin(), present.end());
    summary.min = *low;
    summary.max = *high;
    summary.median = medianOf(std::move(present));
    return summary;
}

std::optional<EnergyMeter> counterEnergy(const std::string& key, const std::vector<double>& times,
                                         const std::vector<double>& values) {
    size_t first = 0, last = values.size();
    while (first < values.size() && std::isnan(values[first])) ++first;
    while (last > first && std::isnan(values[last - 1])) --last;
    if (last - first < 2) return std::nullopt;
    EnergyMeter meter{key, true, values[last - 1] - values[first], times[last - 1] - times[first]};
    meter.partial = first > 0 || last < values.size();
    return meter;
}

std::optional<EnergyMeter> integratedPower(const std::string& key, const std::vector<double>& times,
                                           const std::vector<double>& values) {
    EnergyMeter meter{key, false};
    bool any = false;
    for (size_t i = 1; i < values.size(); ++i) {
        if (std::isnan(values[i - 1]) || std::isnan(values[i])) {
            meter.partial = true;
            continue;
        }
        const double span = times[i] - times[i - 1];
        meter.joules += (values[i - 1] + values[i]) / 2 * span;
        meter.seconds += span;
        any = true;
    }
    if (!any) return std::nullopt;
    return meter;
}

// The key without its last part: "intel-rapl.0.power" gives "intel-rapl.0".
std::string_view sourceOf(std::string_view key) {
    const size_t dot = key.rfind('.');
    return dot == std::string_view::npos ? key : key.substr(0, dot);
}

bool hasEnergyBeside(const MachineSamples& samples, const std::string& powerKey) {
    for (const SamplesColumn& c : samples.columns)
        if (c.unit == "J" && sourceOf(c.key) == sourceOf(powerKey)) return true;
    return false;
}

}  // namespace

std::string samplesPathFor(const std::string& resultsPath) {
    const std::string suffix = resultsNameSuffix;
    if (resultsPath.size() > suffix.size() && resultsPath.ends_with(suffix))
        return resultsPath.substr(0, resultsPath.size() - suffix.size()) + ".samples.csv";
    return resultsPath + ".samples.csv";
}

std::string samplesKey(std::string_view text) {
    std::string key(text);
    for (char& c : key)
        if (!keyCharacter(c)) c = '_';
    return key.empty() ? "_" : key;
}

bool validSamplesKey(std::string_view key) {
    return !key.empty() && std::all_of(key.begin(), key.end(), keyCharacter);
}

std::string samplesHeader(const std::vector<SamplesColumn>& columns) {
    std::string header(samplesTimeColumn);
    for (const SamplesColumn& c : columns) header += "," + c.key + "[" + c.unit + "]";
    return header + "\n";
}

MachineSamples parseMachineSamples(const std::string& text, const std::string& path) {
    MachineSamples samples;
    const std::string shownPath = displayText(path);
    size_t start = 0;
    for (size_t number = 1; start < text.size(); ++number) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            samples.problems.push_back(shownPath + ":" + std::to_string(number) +
                                       ": the last line is cut short (the run stopped while writing it)");
            break;
        }
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        const std::string why = number == 1 ? parseHeader(line, samples) : takeLine(line, samples);
        if (why.empty()) continue;
        samples.problems.push_back(shownPath + ":" + std::to_string(number) + ": " + why);
        if (number == 1) return {{}, {}, {}, samples.problems};
    }
    if (text.empty()) samples.problems.push_back(shownPath + ": not a samples file: it is empty");
    return samples;
}

MachineSamples readMachineSamples(const std::string& path) {
    const FileText file = readRegularFile(path, maxSamplesFileBytes);
    if (!file.ok()) {
        MachineSamples samples;
        samples.problems.push_back(displayText(path) + ": " + file.error);
        return samples;
    }
    return parseMachineSamples(file.text, path);
}

SamplesSummary summariseSamples(const MachineSamples& samples) {
    SamplesSummary summary;
    summary.samples = samples.times.size();
    if (!samples.times.empty()) summary.seconds = samples.times.back() - samples.times.front();
    for (size_t i = 0; i < samples.columns.size(); ++i) {
        const SamplesColumn& column = samples.columns[i];
        summary.sensors.push_back(summariseColumn(column, samples.values[i]));
        std::optional<EnergyMeter> meter;
        if (column.unit == "J")
            meter = counterEnergy(column.key, samples.times, samples.values[i]);
        else if (column.unit == "W" && !hasEnergyBeside(samples, column.key))
            meter = integratedPower(column.key, samples.times, samples.values[i]);
        if (meter) summary.energy.push_back(*meter);
    }
    return summary;
}

std::optional<FrameEnergy> frameEnergy(const EnergyMeter& meter, long frames) {
    if (frames <= 0 || !(meter.joules > 0)) return std::nullopt;
    return FrameEnergy{meter.joules / double(frames), double(frames) / meter.joules};
}
