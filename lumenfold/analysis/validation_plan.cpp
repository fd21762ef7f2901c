#include "analysis/validation_plan.h"

#include "programs/programs.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

namespace {

// As many frames as `lumenfold run --frames` allows: each step up to the last is drawn.
constexpr long long maximumStep = 1000000;

}  // namespace

bool parseSteps(const std::string& text, std::vector<long long>& steps) {
    std::set<long long> found;
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = text.find(',', begin);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(begin, end - begin);
        if (item.empty() || item.size() > 9 || item.find_first_not_of("0123456789") != std::string::npos)
            return false;
        const long long step = std::stoll(item);
        if (step < 1 || step > maximumStep) return false;
        found.insert(step);
        begin = end + 1;
    }
    steps.assign(found.begin(), found.end());
    return true;
}

std::string stepsText(const std::vector<long long>& steps) {
    std::string text;
    for (long long s : steps) text += (text.empty() ? "" : ",") + std::to_string(s);
    return text;
}

std::vector<long long> defaultSteps(const std::string& program) {
    const Program entry = findProgram(program);
    return entry != nullptr ? entry->validationSteps : std::vector<long long>{};
}

std::string defaultStepsText() {
    std::string text;
    for (Program program : programs()) {
        text += std::string(text.empty() ? "" : "; ") + program->name() + " ";
        for (size_t i = 0; i < program->validationSteps.size(); ++i)
            text += (i == 0 ? "" : ",") + std::to_string(program->validationSteps[i]);
    }
    return text;
}

Tolerance defaultTolerance() { return Tolerance{8, 0.001}; }

std::string toleranceText(const Tolerance& t) {
    char text[160];
    snprintf(text, sizeof text, "a pixel passes when no channel differs by more than %d of 255; a frame matches "
             "when at most %g%% of its pixels do not pass", t.channelThreshold, t.failingFraction * 100);
    return text;
}

std::vector<std::string> preloadLibraryCandidates(const std::string& lumenfoldBinary, const std::string& buildFolder,
                                                  const std::string& name) {
    const std::filesystem::path directory = std::filesystem::path(lumenfoldBinary).parent_path();
    return {(directory / ".." / "lib" / "lumenfold" / name).lexically_normal().string(),
            (directory / buildFolder / name).lexically_normal().string()};
}

std::vector<std::string> captureLibraryCandidates(const std::string& lumenfoldBinary) {
    return preloadLibraryCandidates(lumenfoldBinary, "capture", "liblumenfold_capture.so");
}

std::string preloadWith(const char* userPreload, const std::string& library) {
    const std::string user = userPreload != nullptr ? userPreload : "";
    return user.find_first_not_of(" :") == std::string::npos ? library : user + ":" + library;
}
