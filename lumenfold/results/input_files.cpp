#include "results/input_files.h"

#include <algorithm>
#include <filesystem>

#include "common/display_text.h"

namespace fs = std::filesystem;

namespace {

bool isResultsName(const std::string& name) {
    return name.size() > 12 && name.compare(0, 8, "results_") == 0 && name.compare(name.size() - 4, 4, ".txt") == 0;
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
