#include "run/run_timing.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

#include "common/files.h"
#include "analysis/validation_plan.h"
#include "common/messages.h"
#include "model/timing_file.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* libraryName = "liblumenfold_timing.so";

}  // namespace

std::string findTimingLibrary(std::string& looked) {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    looked.clear();
    if (error) {
        looked = "/proc/self/exe (unreadable: " + error.message() + ")";
        return "";
    }
    for (const std::string& path : preloadLibraryCandidates(self.string(), "timing", libraryName)) {
        if (access(path.c_str(), R_OK) == 0) return path;
        looked += (looked.empty() ? "" : ", ") + path;
    }
    return "";
}

RunTiming::~RunTiming() { started(); }

bool RunTiming::prepare(const std::string& directory, const std::string& program,
                        std::map<std::string, std::string>& programEnvironment) {
    std::string looked;
    library_ = findTimingLibrary(looked);
    if (library_.empty()) {
        tell("--timing: cannot find the timing library " + std::string(libraryName) + " (looked at " + looked + ")");
        return false;
    }
    static std::atomic<int> prepared = 0;
    path_ = directory + "/lumenfold-timing-" + program + "-" + std::to_string(getpid()) + "-" +
            std::to_string(++prepared) + ".timing";
    if (const char* user = getenv("LD_PRELOAD")) preload_ = user;
    const auto given = programEnvironment.find("LD_PRELOAD");
    const std::string preload =
        preloadWith(given != programEnvironment.end() ? given->second.c_str() : getenv("LD_PRELOAD"), library_);
    if (given != programEnvironment.end()) given->second = preload;
    else setenv("LD_PRELOAD", preload.c_str(), 1);
    setenv("LUMENFOLD_TIMING_FILE", path_.c_str(), 1);
    environmentSet_ = true;
    active_ = true;
    return true;
}

void RunTiming::started() {
    if (!environmentSet_) return;
    // lumenfold's own later children (the GL probe, X tools) must not carry it.
    if (preload_) setenv("LD_PRELOAD", preload_->c_str(), 1);
    else unsetenv("LD_PRELOAD");
    unsetenv("LUMENFOLD_TIMING_FILE");
    environmentSet_ = false;
}

void RunTiming::finish(const std::string& resultsPath, RunContext& context) {
    started();
    if (!active_) return;
    RunContext::Timing timing;
    timing.library = library_;
    std::string where = path_;
    if (access(path_.c_str(), F_OK) != 0) {
        warn("--timing: the program left no timing file (" + path_ + "): its frames are not timed");
        timing.problem = "the program left no timing file";
        context.timing = timing;
        return;
    }
    if (!resultsPath.empty()) {
        // Never over another run's file; this one then keeps its own name.
        std::string error;
        if (nameWithoutReplacing(path_, timingPathFor(resultsPath), error))
            where = timingPathFor(resultsPath);
        else
            warn("the frames' timing stays in " + path_ + ": " + error);
    }
    timing.file = where;
    const TimingFile file = readTimingFile(where);
    timing.gpuAvailable = file.gpuAvailable;
    timing.gpu = file.gpuNote;
    context.timing = timing;
}
