#include "analysis/context_differences.h"

#include <algorithm>

#include "common/display_text.h"
#include "model/context_file.h"

// Every variable a context records: the eight that steer the GL
// stack, and LD_PRELOAD, since a preloaded library (a capture, a profiler)
// sits in every GL call and so changes the timing as surely as a driver does.
const std::vector<std::string>& glEnvironmentVariables() { return recordedEnvironment(); }

namespace {

using json = nlohmann::json;

std::optional<std::string> stringAt(const json& object, const char* key) {
    if (!object.is_object() || !object.contains(key) || !object[key].is_string()) return std::nullopt;
    return object[key].get<std::string>();
}

// "Linux 6.1.0-13-amd64 #1 SMP ... x86_64", as uname -srvm prints it.
std::optional<std::string> kernelOf(const json& context) {
    if (!context.contains("kernel")) return std::nullopt;
    std::string text;
    for (const char* key : {"name", "release", "version", "machine"})
        if (std::optional<std::string> part = stringAt(context["kernel"], key); part && !part->empty())
            text += (text.empty() ? "" : " ") + *part;
    if (text.empty()) return std::nullopt;
    return text;
}

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
    for (const ConditionValue& condition : run)
        if (condition.label == label) return condition.value;
    return std::nullopt;
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

RunConditions conditionsOfContext(const json& context) {
    RunConditions out;
    const json empty = json::object();
    const json& gl = context.is_object() && context.contains("gl") ? context["gl"] : empty;
    const json& cpu = context.is_object() && context.contains("cpu") ? context["cpu"] : empty;
    const json& environment = context.is_object() && context.contains("environment") ? context["environment"] : empty;
    out.push_back({"GL renderer", stringAt(gl, "renderer")});
    out.push_back({"GL version", stringAt(gl, "version")});
    out.push_back({"kernel", context.is_object() ? kernelOf(context) : std::nullopt});
    out.push_back({"CPU model", stringAt(cpu, "model")});
    out.push_back({"Lumenfold version", stringAt(context, "version")});
    for (const std::string& name : glEnvironmentVariables()) out.push_back({name, stringAt(environment, name.c_str())});
    out.push_back({"revision", stringAt(context, "revision")});
    // Labels vary in name from run to run: each is a condition of its own.
    if (context.is_object() && context.contains("labels") && context["labels"].is_object())
        for (const auto& [name, value] : context["labels"].items())
            if (value.is_string()) out.push_back({labelPrefix + name, value.get<std::string>()});
    return out;
}

std::vector<ConditionDifference> conditionDifferences(const std::vector<RunConditions>& a,
                                                      const std::vector<RunConditions>& b) {
    std::vector<ConditionDifference> out;
    if (a.empty() || b.empty()) return out;
    // Every label met on either side, in the order first met.
    std::vector<std::string> labels;
    for (const auto* side : {&a, &b})
        for (const RunConditions& run : *side)
            for (const ConditionValue& condition : run)
                if (std::find(labels.begin(), labels.end(), condition.label) == labels.end())
                    labels.push_back(condition.label);
    for (const std::string& label : labels) {
        ConditionDifference difference;
        // A label's name came from a file: shown safely, in JSON too.
        difference.label = displayText(label);
        difference.a = valuesOf(a, label);
        difference.b = valuesOf(b, label);
        if (sameSet(difference.a, difference.b)) continue;
        const std::vector<std::string>& variables = glEnvironmentVariables();
        const bool variable = std::find(variables.begin(), variables.end(), difference.label) != variables.end() ||
                              label.starts_with(labelPrefix);
        difference.line = "the sides differ in: " + difference.label + " " + sideText(difference.a, variable) +
                          " / " + sideText(difference.b, variable);
        out.push_back(std::move(difference));
    }
    return out;
}
