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

Values valuesOf(const std::vector<RunConditions>& runs, size_t index) {
    Values values;
    for (const RunConditions& run : runs) {
        if (index >= run.size()) continue;
        const std::optional<std::string>& value = run[index].value;
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
    for (size_t i = 0; i < a.front().size(); ++i) {
        ConditionDifference difference;
        difference.label = a.front()[i].label;
        difference.a = valuesOf(a, i);
        difference.b = valuesOf(b, i);
        if (sameSet(difference.a, difference.b)) continue;
        const bool variable = a.front()[i].variable;
        difference.line = "the sides differ in: " + difference.label + " " + sideText(difference.a, variable) +
                          " / " + sideText(difference.b, variable);
        out.push_back(std::move(difference));
    }
    return out;
}
