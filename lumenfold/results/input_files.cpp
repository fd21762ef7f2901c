#include "results/input_files.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "common/display_text.h"
#include "run/run_support.h"
#include "text_format.h"

namespace fs = std::filesystem;

namespace {

bool isResultsName(const std::string& name) {
    return name.size() > std::strlen(resultsNameLead) + std::strlen(resultsNameSuffix) &&
           name.starts_with(resultsNameLead) && name.ends_with(resultsNameSuffix);
}

// A context file is a few kilobytes; anything far larger is not one.
constexpr std::uintmax_t contextLimit = 1 << 20;

bool readContext(const std::string& path, std::string& text) {
    std::error_code error;
    if (!fs::is_regular_file(path, error) || fs::file_size(path, error) > contextLimit || error) return false;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return bool(in);
}

}  // namespace

std::vector<std::string> expandInputs(const std::vector<std::string>& arguments, std::vector<std::string>& errors) {
    std::vector<std::string> files;
    for (const std::string& argument : arguments) {
        std::error_code error;
        if (!fs::is_directory(argument, error)) {
            files.push_back(argument);
            continue;
        }
        std::vector<std::string> found;
        fs::recursive_directory_iterator it(argument, fs::directory_options::skip_permission_denied, error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error))
            if (isResultsName(it->path().filename().string()) && it->is_regular_file(error))
                found.push_back(it->path().string());
        if (error)
            errors.push_back(displayText(argument) + ": cannot list the directory: " + error.message());
        else if (found.empty())
            errors.push_back(displayText(argument) + ": holds no results file (results_*.txt)");
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

bool contextWarnings(const std::string& contextText, std::vector<std::string>& warnings) {
    const nlohmann::json context = nlohmann::json::parse(contextText, nullptr, false);
    if (!context.is_object()) return false;
    const auto found = context.find("warnings");
    if (found == context.end() || !found->is_array()) return true;
    for (const nlohmann::json& warning : *found) {
        if (warning.is_string())
            warnings.push_back(warning.get<std::string>());
        else if (warning.is_object() && warning.contains("message") && warning["message"].is_string())
            warnings.push_back(warning["message"].get<std::string>());
        else
            warnings.push_back(warning.dump());
    }
    return true;
}

ComparedSide readSide(const std::vector<std::string>& files) {
    ComparedSide side;
    for (const std::string& file : files) {
        side.runs.push_back(readResultsFile(file));
        // Shown as the reader shows the file's name: escaped.
        const std::string& shown = side.runs.back().path;
        std::string text;
        std::vector<std::string> warnings;
        if (!readContext(contextPathFor(file), text) || !contextWarnings(text, warnings)) {
            side.withoutContext.push_back(shown);
            continue;
        }
        for (const std::string& warning : warnings) side.warnings.push_back(RunWarning{shown, displayText(warning)});
    }
    return side;
}
