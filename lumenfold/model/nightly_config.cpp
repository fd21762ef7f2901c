#include "model/nightly_config.h"

#include <cmath>
#include <set>
#include <sstream>
#include <type_traits>

#include <toml.hpp>

#include "common/files.h"
#include "model/results_file.h"

namespace {

using Table = toml::basic_value<toml::discard_comments>;

void refuseUnknownKeys(const Table& table, const std::set<std::string>& known, const std::string& where) {
    for (const auto& [key, value] : table.as_table())
        if (!known.count(key))
            throw std::runtime_error(toml::format_error("unknown key \"" + key + "\"" + where, value,
                                                        "not one of the keys lumenfold nightly takes"));
}

// find_or would quietly give the default for a value of another type.
std::string stringAt(const Table& table, const std::string& key) {
    if (!table.contains(key)) return "";
    const Table& value = table.at(key);
    if (!value.is_string()) throw std::runtime_error(toml::format_error("\"" + key + "\" must be a string", value, "here"));
    return value.as_string();
}

template <typename T>
T positive(const Table& table, const std::string& key, T fallback) {
    if (!table.contains(key)) return fallback;
    const Table& value = table.at(key);
    if (!value.is_integer() && !(value.is_floating() && std::is_floating_point_v<T>))
        throw std::runtime_error(toml::format_error("\"" + key + "\" must be a positive number", value, "here"));
    const T number = value.is_integer() ? T(value.as_integer()) : T(value.as_floating());
    if (!(number > 0) || !std::isfinite(double(number)))
        throw std::runtime_error(toml::format_error("\"" + key + "\" must be a positive number", value, "here"));
    return number;
}

void readSuite(const Table& suite, NightlyConfig& config) {
    refuseUnknownKeys(suite, {"programs", "frames", "seconds", "repeat", "dir"}, " in [suite]");
    if (suite.contains("programs")) {
        const Table& programs = suite.at("programs");
        if (!programs.is_array())
            throw std::runtime_error(toml::format_error("\"programs\" must be a list of names", programs, "here"));
        for (const Table& name : programs.as_array()) {
            if (!name.is_string())
                throw std::runtime_error(toml::format_error("\"programs\" must be a list of names", name, "here"));
            config.programs.push_back(name.as_string());
        }
    }
    if (suite.contains("frames") && suite.contains("seconds"))
        throw std::runtime_error(toml::format_error("[suite] takes frames or seconds, not both", suite.at("seconds"),
                                                    "here"));
    config.frames = positive<int>(suite, "frames", 0);
    config.seconds = positive<double>(suite, "seconds", 0.0);
    if (config.frames == 0 && config.seconds == 0) config.frames = 5;
    config.repeat = positive<int>(suite, "repeat", 1);
    config.runsDir = stringAt(suite, "dir");
}

}  // namespace

bool parseNightlyConfig(const std::string& text, const std::string& path, NightlyConfig& config, std::string& error) {
    try {
        std::istringstream stream(text);
        const Table root = toml::parse<toml::discard_comments>(stream, path);
        refuseUnknownKeys(root, {"machine", "store", "notify", "dashboard", "stale_hours", "suite"}, "");
        NightlyConfig read;
        read.machine = stringAt(root, "machine");
        read.store = stringAt(root, "store");
        read.notifyUrl = stringAt(root, "notify");
        read.dashboardDir = stringAt(root, "dashboard");
        read.staleHours = positive<double>(root, "stale_hours", 36.0);
        if (root.contains("suite")) readSuite(toml::find(root, "suite"), read);
        else read.frames = 5;
        config = read;
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        // toml11 ends its messages with a newline; lumenfold's have none.
        while (!error.empty() && error.back() == '\n') error.pop_back();
        return false;
    }
}

bool readNightlyConfig(const std::string& path, NightlyConfig& config, std::string& error) {
    const FileText file = readRegularFile(path, maxNightlyConfigBytes);
    if (!file.ok()) {
        error = "cannot read the configuration " + path + ": " + file.error;
        return false;
    }
    return parseNightlyConfig(file.text, path, config, error);
}
