// Where the two sides of a comparison were not measured under the same
// conditions: a different GL renderer, GL version, kernel, CPU model,
// lumenfold version, or a different setting of a variable that steers the GL
// stack and its timing. The commonest reason a difference is not the one
// the user thinks it is.
//
// Only runs with a context file take part. A side's value of a condition is
// the set of its runs' values; the sides differ where those sets differ. A
// side whose runs disagree among themselves shows each of its values with
// the number of its runs that had it:
//   the sides differ in: kernel "Linux 6.1.0-13-amd64" / "Linux 6.1.0-13-amd64" (2 runs), "Linux 6.5.0-1-amd64" (1 run)
// Values are shown through displayText, in double quotes (a quote inside
// one as \"); an environment variable or label that was not set shows as
// unset, any other condition missing from a context file as not recorded.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// One condition of one run: its label as shown, and its value (none: not
// set, or not recorded).
struct ConditionValue {
    std::string label;
    std::optional<std::string> value;
};
using RunConditions = std::vector<ConditionValue>;

// The variables that change how GL draws or paces frames: those a context
// records.
const std::vector<std::string>& glEnvironmentVariables();

// The conditions of one run from its context file as run writes it: always
// the same labels in the same order, then the run's own labels (--label
// NAME=VALUE) as "label NAME". The one place that knows the file's layout.
RunConditions conditionsOfContext(const nlohmann::json& context);

// What a run's label is shown as among the conditions: "label build".
inline constexpr const char* labelPrefix = "label ";

struct ConditionDifference {
    std::string label;
    // Each side's distinct values in the order first met, with how many runs had each.
    std::vector<std::pair<std::optional<std::string>, int>> a, b;
    std::string line;   // "the sides differ in: GL renderer \"...\" / \"...\""
};

// The conditions in which the sides differ, in the order of the labels;
// nothing when either side has no run with a context.
std::vector<ConditionDifference> conditionDifferences(const std::vector<RunConditions>& a,
                                                      const std::vector<RunConditions>& b);
