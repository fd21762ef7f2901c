#include "model/context_file.h"

#include <cctype>

#include "text_format.h"

#include "common/display_text.h"
#include "text_format.h"

using nlohmann::json;

namespace {

// A member of the right type, or nothing: a file edited by hand or cut
// short must not stop the rest from being read.
template <typename T>
void take(const json& in, const char* key, T& out) {
    const auto found = in.find(key);
    if (found == in.end()) return;
    try {
        out = found->get<T>();
    } catch (const json::exception&) {
    }
}

template <typename T>
void take(const json& in, const char* key, std::optional<T>& out) {
    const auto found = in.find(key);
    if (found == in.end() || found->is_null()) return;
    try {
        out = found->get<T>();
    } catch (const json::exception&) {
    }
}

// An object member, or an empty object to read nothing from.
const json& objectAt(const json& in, const char* key) {
    static const json none = json::object();
    const auto found = in.find(key);
    return found != in.end() && found->is_object() ? *found : none;
}

template <typename T>
json orNull(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

// Warnings were written as strings; a file edited by hand may hold objects
// with a message, or anything else, which is shown as it is.
std::vector<std::string> warningsFrom(const json& in) {
    std::vector<std::string> warnings;
    const auto found = in.find("warnings");
    if (found == in.end() || !found->is_array()) return warnings;
    for (const json& warning : *found) {
        const json* message = &warning;
        if (warning.is_object() && warning.contains("message")) message = &warning["message"];
        warnings.push_back(message->is_string() ? message->get<std::string>()
                                                : message->dump(-1, ' ', false, json::error_handler_t::replace));
    }
    return warnings;
}

void machineFrom(const json& in, RunContext& c) {
    const json& gl = objectAt(in, "gl");
    take(gl, "vendor", c.gl.vendor);
    take(gl, "renderer", c.gl.renderer);
    take(gl, "version", c.gl.version);
    take(in, "glProbeError", c.glProbeError);
    const json& swap = objectAt(in, "swapInterval");
    if (swap.contains("inForce")) c.swapInterval.inForce = swap["inForce"];
    take(swap, "measuredOn", c.swapInterval.measuredOn);
    take(swap, "extension", c.swapInterval.extension);
    if (swap.contains("default")) c.swapInterval.defaultInterval = swap["default"];
    const json& cpu = objectAt(in, "cpu");
    take(cpu, "model", c.cpu.model);
    take(cpu, "logicalProcessors", c.cpu.logicalProcessors);
    take(cpu, "cores", c.cpu.cores);
    if (in.contains("kernel") && in["kernel"].is_object()) {
        const json& kernel = in["kernel"];
        RunContext::Kernel k;
        take(kernel, "name", k.name);
        take(kernel, "release", k.release);
        take(kernel, "version", k.version);
        take(kernel, "machine", k.machine);
        c.kernel = k;
    }
    const json& conditions = objectAt(in, "conditions");
    take(conditions, "governors", c.conditions.governors);
    take(conditions, "boost", c.conditions.boost);
    take(conditions, "loadAverage", c.conditions.loadAverage);
    take(conditions, "logicalProcessors", c.conditions.logicalProcessors);
    take(conditions, "virtualX", c.conditions.virtualX);
}

void outcomeFrom(const json& in, RunContext& c) {
    take(in, "resultsFile", c.resultsFile);
    if (in.contains("window") && in["window"].is_object()) {
        RunContext::Window window;
        take(in["window"], "width", window.width);
        take(in["window"], "height", window.height);
        c.window = window;
    }
    if (in.contains("outcome") && in["outcome"].is_object()) {
        const json& outcome = in["outcome"];
        RunContext::Outcome o;
        take(outcome, "ok", o.ok);
        take(outcome, "message", o.message);
        take(outcome, "framesReported", o.framesReported);
        take(outcome, "exit", o.exit);
        take(outcome, "programStderr", o.programStderr);
        c.outcome = o;
    }
}

json machineJson(const RunContext& c) {
    json out;
    out["gl"] = {{"vendor", c.gl.vendor}, {"renderer", c.gl.renderer}, {"version", c.gl.version}};
    if (c.glProbeError) out["glProbeError"] = *c.glProbeError;
    out["swapInterval"] = {{"inForce", c.swapInterval.inForce}, {"measuredOn", c.swapInterval.measuredOn}};
    if (c.swapInterval.extension) out["swapInterval"]["extension"] = *c.swapInterval.extension;
    if (c.swapInterval.defaultInterval) out["swapInterval"]["default"] = *c.swapInterval.defaultInterval;
    out["cpu"] = {{"model", c.cpu.model}, {"logicalProcessors", c.cpu.logicalProcessors}, {"cores", orNull(c.cpu.cores)}};
    out["kernel"] = c.kernel ? json({{"name", c.kernel->name},
                                     {"release", c.kernel->release},
                                     {"version", c.kernel->version},
                                     {"machine", c.kernel->machine}})
                             : json(nullptr);
    out["conditions"] = {{"governors", c.conditions.governors},
                         {"boost", orNull(c.conditions.boost)},
                         {"loadAverage", orNull(c.conditions.loadAverage)},
                         {"logicalProcessors", c.conditions.logicalProcessors},
                         {"virtualX", orNull(c.conditions.virtualX)}};
    return out;
}

json sensorsJson(const std::vector<RunContext::SensorFact>& sensors) {
    json out = json::array();
    for (const RunContext::SensorFact& f : sensors) {
        json sensor = {{"key", f.key}, {"label", f.label}, {"unit", f.unit}};
        if (!f.reason.empty()) sensor["reason"] = f.reason;
        out.push_back(sensor);
    }
    return out;
}

json machineStateJson(const RunContext::MachineState& m) {
    return {{"intervalSeconds", m.intervalSeconds}, {"sensors", sensorsJson(m.sensors)},
            {"unavailable", sensorsJson(m.unavailable)}, {"problems", m.problems},
            {"samplesFile", orNull(m.samplesFile)}, {"samples", m.samples}};
}

std::vector<RunContext::SensorFact> sensorsFrom(const json& in) {
    std::vector<RunContext::SensorFact> sensors;
    if (!in.is_array()) return sensors;
    for (const json& item : in) {
        if (!item.is_object()) continue;
        RunContext::SensorFact f;
        take(item, "key", f.key);
        take(item, "label", f.label);
        take(item, "unit", f.unit);
        take(item, "reason", f.reason);
        sensors.push_back(f);
    }
    return sensors;
}

void machineStateFrom(const json& in, RunContext& c) {
    if (!in.contains("machineState") || !in["machineState"].is_object()) return;
    const json& state = in["machineState"];
    RunContext::MachineState m;
    take(state, "intervalSeconds", m.intervalSeconds);
    if (state.contains("sensors")) m.sensors = sensorsFrom(state["sensors"]);
    if (state.contains("unavailable")) m.unavailable = sensorsFrom(state["unavailable"]);
    take(state, "problems", m.problems);
    take(state, "samplesFile", m.samplesFile);
    take(state, "samples", m.samples);
    c.machineState = m;
}

json timingJson(const RunContext::Timing& t) {
    return {{"library", t.library},
            {"file", orNull(t.file)},
            {"gpu", {{"available", t.gpuAvailable}, {"note", t.gpu}}},
            {"problem", orNull(t.problem)}};
}

void timingFrom(const json& in, RunContext& c) {
    if (!in.contains("timing") || !in["timing"].is_object()) return;
    const json& timing = in["timing"];
    RunContext::Timing t;
    take(timing, "library", t.library);
    take(timing, "file", t.file);
    const json& gpu = objectAt(timing, "gpu");
    take(gpu, "available", t.gpuAvailable);
    take(gpu, "note", t.gpu);
    take(timing, "problem", t.problem);
    c.timing = t;
}

json outcomeJson(const RunContext::Outcome& o) {
    return {{"ok", o.ok},
            {"message", orNull(o.message)},
            {"framesReported", o.framesReported},
            {"exit", o.exit},
            {"programStderr", o.programStderr}};
}

}  // namespace

const std::vector<std::string>& recordedEnvironment() {
    static const std::vector<std::string> names = {
        "vblank_mode",    "__GL_SYNC_TO_VBLANK",         "mesa_glthread",             "LIBGL_ALWAYS_SOFTWARE",
        "GALLIUM_DRIVER", "MESA_LOADER_DRIVER_OVERRIDE", "__GLX_VENDOR_LIBRARY_NAME", "DRI_PRIME",
        // A preloaded library (validate's capture, a profiler) sits in every GL call.
        "LD_PRELOAD"};
    return names;
}

void to_json(json& out, const RunContext& c) {
    out = machineJson(c);
    out["program"] = c.program;
    out["programPath"] = c.programPath;
    out["date"] = c.date;
    out["command"] = c.command;
    out["directory"] = c.directory;
    out["version"] = c.version;
    out["display"] = {{"name", c.display.name}, {"privateXvfb", c.display.privateXvfb}};
    out["environment"] = c.environment;
    out["warnings"] = c.warnings;
    out["request"] = {{"frames", orNull(c.request.frames)},
                      {"seconds", orNull(c.request.seconds)},
                      {"hangTimeoutSeconds", c.request.hangTimeoutSeconds}};
    out["resultsFile"] = orNull(c.resultsFile);
    out["window"] = c.window ? json({{"width", c.window->width}, {"height", c.window->height}}) : json(nullptr);
    if (c.outcome) out["outcome"] = outcomeJson(*c.outcome);
    if (c.validation) out["validation"] = true;
    if (!c.labels.empty()) out["labels"] = c.labels;
    if (c.revision) out["revision"] = *c.revision;
    if (c.driverRevision) out["driverRevision"] = *c.driverRevision;
    if (c.machineState) out["machineState"] = machineStateJson(*c.machineState);
    if (c.timing) out["timing"] = timingJson(*c.timing);
}

void from_json(const json& in, RunContext& c) {
    if (!in.is_object()) return;
    take(in, "program", c.program);
    take(in, "programPath", c.programPath);
    take(in, "date", c.date);
    take(in, "command", c.command);
    take(in, "directory", c.directory);
    take(in, "version", c.version);
    const json& display = objectAt(in, "display");
    take(display, "name", c.display.name);
    take(display, "privateXvfb", c.display.privateXvfb);
    for (const auto& [name, value] : objectAt(in, "environment").items())
        if (value.is_string()) c.environment[name] = value.get<std::string>();
    c.warnings = warningsFrom(in);
    const json& request = objectAt(in, "request");
    take(request, "frames", c.request.frames);
    take(request, "seconds", c.request.seconds);
    take(request, "hangTimeoutSeconds", c.request.hangTimeoutSeconds);
    machineFrom(in, c);
    outcomeFrom(in, c);
    take(in, "validation", c.validation);
    for (const auto& [name, value] : objectAt(in, "labels").items())
        if (value.is_string()) c.labels[name] = value.get<std::string>();
    take(in, "revision", c.revision);
    take(in, "driverRevision", c.driverRevision);
    machineStateFrom(in, c);
    timingFrom(in, c);
}

std::optional<std::string> driverRevisionOf(const std::string& glVersion) {
    const size_t mesa = glVersion.find("Mesa ");
    if (mesa == std::string::npos) return std::nullopt;
    const std::string mark = "(git-";
    const size_t start = glVersion.find(mark, mesa);
    if (start == std::string::npos) return std::nullopt;
    const size_t begin = start + mark.size();
    size_t end = begin;
    while (end < glVersion.size() && std::isxdigit(static_cast<unsigned char>(glVersion[end]))) ++end;
    // An abbreviated hash is at least 7 digits; anything else is not one.
    if (end - begin < 7 || end - begin > 64 || end >= glVersion.size() || glVersion[end] != ')') return std::nullopt;
    return glVersion.substr(begin, end - begin);
}

std::string contextPathFor(const std::string& resultsPath) {
    const std::string suffix = resultsNameSuffix;
    if (resultsPath.size() > suffix.size() && resultsPath.ends_with(suffix))
        return resultsPath.substr(0, resultsPath.size() - suffix.size()) + ".json";
    return resultsPath + ".json";
}

ContextRead parseContext(const std::string& text, const std::string& path) {
    ContextRead read;
    const json data = json::parse(text, nullptr, false);
    if (data.is_discarded() || !data.is_object()) {
        read.problem = displayText(path) + ": not a context file (not a JSON object)";
        return read;
    }
    read.present = true;
    from_json(data, read.context);
    return read;
}

ContextRead readContextFile(const std::string& path) {
    std::string text;
    std::string error;
    if (readRegularFile(path, maxContextFileBytes, text, error)) return parseContext(text, path);
    ContextRead read;
    // No context file at all is the usual case for a copied results file.
    if (error.find("No such file") == std::string::npos) read.problem = displayText(path) + ": " + error;
    return read;
}

ContextRead readContextOf(const ResultsRun& run) {
    if (run.givenPath.empty()) return {};
    return readContextFile(contextPathFor(run.givenPath));
}

std::vector<ReportedRun> readReportedRuns(const std::vector<std::string>& files, const std::string& side) {
    std::vector<ReportedRun> runs;
    for (const std::string& file : files) {
        ReportedRun reported{readResultsFile(file), {}, side};
        reported.context = readContextOf(reported.run);
        runs.push_back(std::move(reported));
    }
    return runs;
}

std::vector<ReportedRun> withoutContexts(const std::vector<ResultsRun>& runs, const std::string& side) {
    std::vector<ReportedRun> reported;
    for (const ResultsRun& run : runs) reported.push_back(ReportedRun{run, {}, side});
    return reported;
}

const char* const validationNote = "validation run: made to check what the program draws, not to measure, so "
                                   "its figures are left out";
