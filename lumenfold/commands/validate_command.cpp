#include "commands/validate_command.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <unistd.h>

#include "common/display_text.h"
#include "common/messages.h"
#include "common/whole_file.h"
#include "run/machine_lock.h"
#include "run/program_run.h"
#include "analysis/compare_images.h"
#include "model/png_file.h"
#include "output/validation_page.h"
#include "analysis/validation_plan.h"
#include "programs/programs.h"

#ifndef LUMENFOLD_VERSION
#define LUMENFOLD_VERSION "unknown"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int differenceGain = 16;

// The variables a validation sets for its runs, put back as they were when
// it goes out of scope, so the second run starts from the user's own.
class EnvironmentGuard {
public:
    EnvironmentGuard() {
        for (const char* name : {"DISPLAY", "XAUTHORITY", "LD_PRELOAD", "LIBGL_ALWAYS_SOFTWARE", "GALLIUM_DRIVER",
                                 "LUMENFOLD_CAPTURE_DIR", "LUMENFOLD_CAPTURE_STEPS"}) {
            const char* value = getenv(name);
            saved_[name] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
        }
    }
    ~EnvironmentGuard() {
        for (const auto& [name, value] : saved_)
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
    }
    const char* original(const std::string& name) const {
        const auto& value = saved_.at(name);
        return value ? value->c_str() : nullptr;
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

std::string findCaptureLibrary() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return "";
    for (const std::string& candidate : captureLibraryCandidates(self.string()))
        if (access(candidate.c_str(), R_OK) == 0) return candidate;
    return "";
}

// A fresh directory for one run's captures: frames of an earlier validation
// left there must never stand in for a frame this run did not draw.
bool prepareCaptureDirectory(const fs::path& directory) {
    std::error_code error;
    fs::create_directories(directory, error);
    if (error) {
        tell("cannot create " + displayText(directory.string()) + ": " + error.message());
        return false;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("step-", 0) == 0) fs::remove(entry.path(), error);
    }
    return true;
}

std::string stepList(const std::vector<long long>& steps) {
    std::string text;
    for (long long s : steps) text += (text.empty() ? "" : ",") + std::to_string(s);
    return text;
}

struct CaptureRun {
    std::string renderer;
    bool ok = false;
};

// One run of the program with the capture library preloaded, for as many
// frames as the last step asked for. A redraw that repeats a step counts
// as a frame, but the frame under way when P arrives is finished and GLUT
// keeps stepping until it reads the key, so the last step is still drawn;
// where it is not, its comparison says it was not captured.
CaptureRun captureSteps(const ValidateOptions& options, const std::vector<long long>& steps,
                        const std::string& directory, const std::string& library, const EnvironmentGuard& env) {
    CaptureRun result;
    setenv("LD_PRELOAD", preloadWith(env.original("LD_PRELOAD"), library).c_str(), 1);
    setenv("LUMENFOLD_CAPTURE_DIR", directory.c_str(), 1);
    setenv("LUMENFOLD_CAPTURE_STEPS", stepList(steps).c_str(), 1);
    RunOptions run;
    run.program = options.program;
    run.limits.frames = int(steps.back());
    run.directory = directory;
    run.command = options.command;
    run.validation = true;
    std::string binary, runDirectory;
    RunSession session;
    if (!prepareSession(run, binary, runDirectory, session)) return result;
    if (session.gl().contains("gl")) result.renderer = session.gl()["gl"].value("renderer", "");
    const RunOutcome outcome = runOnce(session, findProgram(options.program), run, binary, runDirectory);
    result.ok = outcome.failure.empty();
    return result;
}

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return in ? bytes.str() : std::string();
}

// The frame and its kept hash; false, with the reason, when either is
// missing or they disagree (a capture damaged since it was made).
bool loadCapture(const fs::path& directory, long long step, Image& image, std::string& hash, std::string& error) {
    const fs::path base = directory / ("step-" + std::to_string(step));
    if (!fs::exists(base.string() + ".png")) {
        error = "step " + std::to_string(step) + " was not captured in " + displayText(directory.string());
        return false;
    }
    if (!readPng(base.string() + ".png", image, error)) return false;
    std::ifstream in(base.string() + ".hash");
    in >> hash;
    if (hash != hashText(pixelHash(image))) {
        error = displayText(base.string()) + ".png does not match its hash file";
        return false;
    }
    return true;
}

struct StepOutcome {
    StepView view;
    bool passes = false;
};

StepOutcome compareStep(long long step, const fs::path& referenceDir, const fs::path& drawnDir,
                        const fs::path& differenceDir, const Tolerance& tolerance) {
    StepOutcome out;
    out.view.step = step;
    Image expected, drawn;
    std::string expectedHash, drawnHash, error;
    const bool haveExpected = loadCapture(referenceDir, step, expected, expectedHash, error);
    const bool haveDrawn = haveExpected && loadCapture(drawnDir, step, drawn, drawnHash, error);
    const std::string name = "step-" + std::to_string(step) + ".png";
    if (haveExpected) out.view.expectedPng = fileBytes(referenceDir / name);
    if (!haveExpected || !haveDrawn) {
        if (fs::exists(drawnDir / name)) out.view.drawnPng = fileBytes(drawnDir / name);
        out.view.verdict = "cannot compare: " + error;
        out.view.differs = true;
        return out;
    }
    out.view.drawnPng = fileBytes(drawnDir / name);
    FrameComparison c = compareFrames(expected, drawn, tolerance);
    // Equal hashes name equal pixels; the comparison above says the same
    // unless a file was tampered with, which loadCapture has ruled out.
    if (expectedHash == drawnHash) c.verdict = FrameVerdict::identical;
    out.view.verdict = describeComparison(c);
    out.view.differs = c.verdict == FrameVerdict::differs;
    out.passes = !out.view.differs;
    std::string writeError;
    if (writePng((differenceDir / name).string(), differenceImage(expected, drawn, differenceGain), writeError))
        out.view.differencePng = fileBytes(differenceDir / name);
    else
        tell("no difference image: " + displayText(writeError));
    return out;
}

bool writePageFile(const std::string& path, const std::string& page) {
    std::string error;
    if (writeWholeFile(path, page, error)) return true;
    tell("no page written: " + displayText(error));
    return false;
}

// Both captures; false when either run failed or what was asked cannot be had.
bool captureBoth(const ValidateOptions& options, const std::vector<long long>& steps, const fs::path& drawnDir,
                 const fs::path& referenceDir, bool software, ValidationSummary& summary) {
    const std::string library = findCaptureLibrary();
    if (library.empty()) {
        tell("cannot find the capture library liblumenfold_capture.so beside lumenfold (lib/lumenfold/ or the "
             "build tree); build or install it first");
        return false;
    }
    EnvironmentGuard env;
    if (!prepareCaptureDirectory(drawnDir) || (software && !prepareCaptureDirectory(referenceDir))) return false;
    tell("capturing steps " + stepList(steps) + " of " + options.program + " as this display draws them");
    const CaptureRun drawn = captureSteps(options, steps, drawnDir.string(), library, env);
    summary.drawnOn = drawn.renderer.empty() ? "unknown renderer" : drawn.renderer;
    if (!drawn.ok) return false;
    if (!software) return true;
    // The reference is llvmpipe on a server of its own, whatever the
    // user's environment asks for; the user's own preloads stay.
    unsetenv("DISPLAY");
    unsetenv("XAUTHORITY");
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    setenv("GALLIUM_DRIVER", "llvmpipe", 1);
    tell("capturing the same steps with the software reference (llvmpipe) on a private Xvfb");
    const CaptureRun reference = captureSteps(options, steps, referenceDir.string(), library, env);
    summary.reference = (reference.renderer.empty() ? "llvmpipe" : reference.renderer) + " on a private Xvfb";
    return reference.ok;
}

}  // namespace

CLI::App* addValidateCommand(CLI::App& app, ValidateOptions& options) {
    CLI::App* validate = app.add_subcommand(
        "validate", "Capture frames a program draws on this display and compare them with the same steps drawn "
                    "by the software reference (llvmpipe on a private Xvfb) or kept from an earlier validation.");
    validate->add_option("program", options.program, programList())
        ->required()
        ->check(CLI::IsMember(programNames()));
    validate->add_option("--steps", options.steps, "steps to capture, as 1,3,5 (default: " + defaultStepsText() + ")");
    validate->add_option("--reference", options.reference,
                         "software, or a directory of captures kept from an earlier validation "
                         "(its drawn/ or reference/ directory)")
        ->capture_default_str();
    validate->add_option("--html", options.html, "also write a page with expected, drawn and difference images");
    validate->add_option("--dir", options.directory,
                         "where the captures, results and context files go (default: validation-PROGRAM)");
    return validate;
}

int validateCommand(const ValidateOptions& options) {
    if (findProgram(options.program) == nullptr) {
        tell("unknown program \"" + displayText(options.program) + "\": expected " + programList());
        return 2;
    }
    std::vector<long long> steps = defaultSteps(options.program);
    if (!options.steps.empty() && !parseSteps(options.steps, steps)) {
        tell("--steps takes whole steps from 1, separated by commas, as 1,3,5; not \"" +
             displayText(options.steps) + "\"");
        return 2;
    }
    const bool software = options.reference == "software";
    if (!software && !fs::is_directory(options.reference)) {
        tell("--reference takes software or a directory of kept captures; " + displayText(options.reference) +
             " is neither");
        return 2;
    }
    const fs::path directory = options.directory.empty() ? fs::path("validation-" + options.program)
                                                         : fs::path(options.directory);
    const fs::path drawnDir = fs::absolute(directory / "drawn");
    const fs::path referenceDir = software ? fs::absolute(directory / "reference") : fs::path(options.reference);
    std::error_code same;
    if (!software && fs::equivalent(referenceDir, drawnDir, same)) {
        tell("--reference names the directory this validation captures into; keep it elsewhere or choose another "
             "--dir");
        return 2;
    }
    ValidationSummary summary{options.program, "", displayText(options.reference), "", differenceGain};
    // Both captures under one hold: no other benchmark between them.
    MachineLock machine;
    if (!holdMachine(machine, options.command, options.noWait)) return 1;
    if (!captureBoth(options, steps, drawnDir, referenceDir, software, summary)) return 1;

    const Tolerance tolerance = defaultTolerance();
    summary.tolerance = toleranceText(tolerance);
    const fs::path differenceDir = fs::absolute(directory / "difference");
    std::error_code error;
    fs::create_directories(differenceDir, error);
    std::vector<StepView> views;
    bool allPass = true;
    for (long long step : steps) {
        StepOutcome outcome = compareStep(step, referenceDir, drawnDir, differenceDir, tolerance);
        printf("step %lld: %s\n", step, outcome.view.verdict.c_str());
        allPass = allPass && outcome.passes;
        views.push_back(std::move(outcome.view));
    }
    fflush(stdout);
    const bool paged = options.html.empty() ||
                       writePageFile(options.html, validationPage(summary, views,
                                                                  std::string("lumenfold ") + LUMENFOLD_VERSION));
    printf("%s: %s\n", options.program.c_str(), allPass ? "no step differs" : "a step differs");
    return allPass && paged ? 0 : 1;
}
