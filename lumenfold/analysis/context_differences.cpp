#include "analysis/context_differences.h"

#include <algorithm>

#include "common/display_text.h"

namespace {

std::string shown(const std::optional<std::string>& value, bool variable) {
    if (!value) return variable ? "unset" : "not recorded";
    std::string out = "\"";
    for (char c : displayText(*value)) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

using Values = std::vector<std::pair<std::optional<std::string>, int>>;

// A run's value of a condition by its label; none when the run does not have it.
std::optional<std::string> valueOf(const RunConditions& run, const std::string& label) {
    for (const ContextFact& condition : run)
        if (condition.label == label) return condition.value;
    return std::nullopt;
}

// Whether the condition is one a run may leave unset (a variable, a label).
bool isVariable(const std::vector<RunConditions>& a, const std::vector<RunConditions>& b, const std::string& label) {
    for (const auto* side : {&a, &b})
        for (const RunConditions& run : *side)
            for (const ContextFact& condition : run)
                if (condition.label == label) return condition.variable;
    return false;
}

Values valuesOf(const std::vector<RunConditions>& runs, const std::string& label) {
    Values values;
    for (const RunConditions& run : runs) {
        const std::optional<std::string> value = valueOf(run, label);
        auto found = std::find_if(values.begin(), values.end(), [&](const auto& v) { return v.first == value; });
        if (found == values.end())
            values.emplace_back(value, 1);
        else
            ++found->second;
    }
    return values;
}

bool sameSet(const Values& a, const Values& b) {
    if (a.size() != b.size()) return false;
    for (const auto& entry : a)
        if (std::none_of(b.begin(), b.end(), [&](const auto& v) { return v.first == entry.first; })) return false;
    return true;
}

std::string sideText(const Values& values, bool variable) {
    if (values.size() == 1) return shown(values[0].first, variable);
    std::string text;
    for (const auto& [value, count] : values)
        text += (text.empty() ? "" : ", ") + shown(value, variable) + " (" + std::to_string(count) +
                (count == 1 ? " run)" : " runs)");
    return text;
}

}  // namespace

std::vector<ConditionDifference> conditionDifferences(const std::vector<RunConditions>& a,
                                                      const std::vector<RunConditions>& b) {
    std::vector<ConditionDifference> out;
    if (a.empty() || b.empty()) return out;
    // Every label met on either side, in the order first met.
    std::vector<std::string> labels;
    for (const auto* side : {&a, &b})
        for (const RunConditions& run : *side)
            for (const ContextFact& condition : run)
                if (std::find(labels.begin(), labels.end(), condition.label) == labels.end())
                    labels.push_back(condition.label);
    for (const std::string& label : labels) {
        ConditionDifference difference;
        // A label's name came from a file: shown safely, in JSON too.
        difference.label = displayText(label);
        difference.a = valuesOf(a, label);
        difference.b = valuesOf(b, label);
        if (sameSet(difference.a, difference.b)) continue;
        const bool variable = isVariable(a, b, label);
        difference.line = "the sides differ in: " + difference.label + " " + sideText(difference.a, variable) +
                          " / " + sideText(difference.b, variable);
        out.push_back(std::move(difference));
    }
    return out;
}
