#include "model/input_files.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "common/display_text.h"
#include "text_format.h"

namespace fs = std::filesystem;

namespace {

bool isResultsName(const std::string& name) {
    return name.size() > std::strlen(resultsNameLead) + std::strlen(resultsNameSuffix) &&
           name.starts_with(resultsNameLead) && name.ends_with(resultsNameSuffix);
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
