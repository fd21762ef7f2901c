#include "run/program_run.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include "run/conditions.h"
#include "common/messages.h"
#include "common/process.h"
#include "model/context_file.h"
#include "run/console_log.h"
#include "run/run_sampling.h"
#include "run/run_timing.h"
#include "run/machine_lock.h"
#include "run/progress.h"
#include "run/run_support.h"
#include "text_format.h"
#include "programs/programs.h"

#ifndef LUMENFOLD_VERSION
#define LUMENFOLD_VERSION "unknown"
#endif

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

volatile sig_atomic_t interruptSignal = 0;

void onInterrupt(int signal) { interruptSignal = signal; }

void catchSignals() {
    signal(SIGPIPE, SIG_IGN);
    struct sigaction onSignal{};
    onSignal.sa_handler = onInterrupt;
    sigemptyset(&onSignal.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &onSignal, nullptr);
}

bool isExecutableFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}

// Beside lumenfold in the build tree first, so a build runs its own programs;
// then PATH, for an installed suite.
std::string findProgram(const std::string& name, std::string& looked) {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        const fs::path sibling = (self.parent_path() / ".." / name / name).lexically_normal();
        looked = sibling.string() + ", ";
        if (isExecutableFile(sibling)) return fs::canonical(sibling, error).string();
    }
    looked += "PATH";
    const char* path = getenv("PATH");
    const std::string dirs = path != nullptr ? path : "";
    for (size_t begin = 0, end; begin <= dirs.size(); begin = end + 1) {
        end = dirs.find(':', begin);
        if (end == std::string::npos) end = dirs.size();
        const fs::path candidate = fs::path(begin == end ? "." : dirs.substr(begin, end - begin)) / name;
        if (isExecutableFile(candidate)) return candidate.string();
    }
    return "";
}

// The directory the program runs in, created when missing, as an absolute path.
bool makeDirectory(const std::string& given, std::string& directory) {
    std::error_code error;
    if (given.empty()) {
        directory = fs::current_path(error).string();
        if (error) tell("cannot read the current directory: " + error.message());
        return !error;
    }
    fs::create_directories(given, error);
    if (error) {
        tell("cannot create the directory " + given + ": " + error.message());
        return false;
    }
    if (!fs::is_directory(given, error)) {
        tell(given + " is not a directory");
        return false;
    }
    const fs::path resolved = fs::canonical(given, error);
    directory = error ? given : resolved.string();
    return true;
}

std::set<std::string> resultsFilesIn(const std::string& directory, Program program) {
    std::set<std::string> names;
    const std::string prefix = resultsNamePrefix(program);
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && name.ends_with(resultsNameSuffix)) names.insert(name);
    }
    return names;
}

// The program on its pipes, the machine that decides what comes next, and
// what was found on the display.
struct Supervision {
    Supervision(Program program, const RunOptions& options, const std::string& windowTitle, const std::string& display)
        : machine(program, options.limits, windowTitle, display, monotonicSeconds()), title(windowTitle),
          limits(options.limits), ordinal(options.ordinal), echo(options.echo), started(monotonicSeconds()) {}

    ChildProcess child;
    RunMachine machine;
    std::string title;
    LineReader output, errors;
    bool outputOpen = true, errorsOpen = true;
    std::vector<std::string> programErrors;
    std::vector<unsigned long> earlierWindows;
    unsigned long window = 0;
    unsigned width = 0, height = 0;
    // The console goes to the log; the user sees progress, or with --echo the console itself.
    RunLimits limits;
    std::string ordinal;
    bool echo = false;
    ConsoleLog log;
    double started = 0;
    double lastShown = 0;
    int shownFrames = 0;
    double lastFrameAt = 0;  // seconds since R when the latest frame came
};

// A line the log could not take is shown instead, and every one after it.
void logLine(Supervision& s, const std::string& line) {
    if (s.log.line(line) || s.echo) return;
    warn("the console log of " + std::string(programName(s.machine.watch().program)) +
         " cannot be written; its console is shown here from now on");
    s.echo = true;
}

// Logs the program's console line for line (and shows it with --echo), and follows it.
void pumpOutput(Supervision& s) {
    std::vector<std::string> lines;
    if (s.outputOpen) s.outputOpen = s.output.read(s.child.output, lines);
    for (const std::string& line : lines) {
        logLine(s, line);
        if (s.echo) printf("%s\n", line.c_str());
        s.machine.consoleLine(line, monotonicSeconds());
    }
    if (s.echo && !lines.empty()) fflush(stdout);
    lines.clear();
    if (s.errorsOpen) s.errorsOpen = s.errors.read(s.child.errors, lines);
    for (const std::string& line : lines) {
        logLine(s, line);
        if (s.echo) fprintf(stderr, "%s\n", line.c_str());
        s.machine.errorLine(line);
        // Enough to see what went wrong; a runaway program cannot fill memory.
        if (s.programErrors.size() < 200) s.programErrors.push_back(line);
    }
}

void findWindow(Supervision& s) {
    std::vector<unsigned long> fresh;
    for (unsigned long w : windowsTitled(s.title))
        if (std::find(s.earlierWindows.begin(), s.earlierWindows.end(), w) == s.earlierWindows.end())
            fresh.push_back(w);
    s.machine.windowsFound(fresh.size());
    if (fresh.size() == 1) {
        s.window = fresh.front();
        windowSize(s.window, s.width, s.height);
    }
}

void carryOut(RunStep step, Supervision& s) {
    const std::string program = programName(s.machine.watch().program);
    switch (step) {
        case RunStep::wait:
            break;
        case RunStep::findWindow:
            findWindow(s);
            break;
        case RunStep::pressR:
            if (!sendKey(s.window, "r")) s.machine.stepFailed("cannot send key R to the window of " + program);
            break;
        case RunStep::pressPAndEsc:
            if (!sendKey(s.window, "p") || !sendKey(s.window, "Escape"))
                s.machine.stepFailed("cannot send keys P and Esc to the window of " + program);
            break;
        case RunStep::answerPrompt: {
            ssize_t written = write(s.child.input, "\n", 1);
            (void)written;
            close(s.child.input);
            s.child.input = -1;
            break;
        }
        case RunStep::stop: {
            int status = 0;
            stopProcess(s.child.pid, status, 5);
            s.machine.exited(status, true);
            break;
        }
    }
}

// On a terminal one line rewritten in place a few times a second; otherwise
// one plain line per frame. Nothing with --echo, where the console itself shows.
void showProgress(Supervision& s, bool last) {
    if (s.echo) return;
    const double now = monotonicSeconds();
    const ConsoleWatch& watch = s.machine.watch();
    if (watch.frames != s.shownFrames) s.lastFrameAt = s.machine.runningFor(now);
    const RunProgress progress{programName(watch.program), s.ordinal,         watch.frames,
                               s.limits.frames,           s.limits.seconds,  now - s.started,
                               s.machine.runningFor(now), s.lastFrameAt,      watch.latestFigure};
    if (!liveLinesShown()) {
        if (watch.frames != s.shownFrames) tell(progressText(progress));
    } else if (last || now - s.lastShown >= 0.25) {
        showLive(progressText(progress));
        s.lastShown = now;
        if (last) endLive();
    }
    s.shownFrames = watch.frames;
}

void supervise(Supervision& s) {
    double exitTime = 0;
    while (!s.machine.hasExited() || s.outputOpen || s.errorsOpen) {
        if (interruptSignal != 0) s.machine.interrupted(strsignal(interruptSignal));
        pollfd fds[2] = {{s.outputOpen ? s.child.output : -1, POLLIN, 0},
                         {s.errorsOpen ? s.child.errors : -1, POLLIN, 0}};
        poll(fds, 2, 100);
        pumpOutput(s);
        showProgress(s, false);
        int status = 0;
        if (!s.machine.hasExited() && waitpid(s.child.pid, &status, WNOHANG) == s.child.pid)
            s.machine.exited(status, false);
        if (s.machine.hasExited()) {
            // Whatever is still in the pipes is read before the loop ends,
            // unless something the program started holds them open.
            if (exitTime == 0) exitTime = monotonicSeconds();
            if (monotonicSeconds() - exitTime > 5) break;
            continue;
        }
        carryOut(s.machine.next(monotonicSeconds()), s);
    }
    showProgress(s, true);
    closePipes(s.child);
}

// The one the program named, or else the one new file of its kind in the
// directory (a crash leaves no closing line); empty, with the reason in note,
// when neither is there.
std::string findResultsFile(const ConsoleWatch& watch, const std::string& directory,
                            const std::set<std::string>& earlier, std::string& note) {
    if ((watch.resultsSaved || watch.resultsIncomplete) && access(watch.resultsPath.c_str(), F_OK) == 0)
        return watch.resultsPath;
    std::vector<std::string> fresh;
    for (const std::string& name : resultsFilesIn(directory, watch.program))
        if (earlier.count(name) == 0) fresh.push_back(name);
    if (fresh.size() == 1) return directory + "/" + fresh.front();
    note = fresh.empty() ? "no results file of this run was found in " + directory
                         : std::to_string(fresh.size()) + " new results files of " + programName(watch.program) +
                               " in " + directory + "; cannot tell which one is this run's";
    return "";
}

// Checked before each run: what could make its figures mislead. Each
// problem is one warning line on stderr and one entry in the context file.
void checkConditions(const RunSession& session, const json& gl, RunContext& context) {
    MachineConditions c;
    readCpuFrequency("/sys/devices/system/cpu", c);
    std::ifstream loadavg("/proc/loadavg");
    std::string text;
    std::getline(loadavg, text);
    c.loadAverage = parseLoadAverage(text);
    c.processors = int(sysconf(_SC_NPROCESSORS_ONLN));
    c.renderer = context.gl.renderer == "unknown" ? "" : context.gl.renderer;
    c.swapKnown = gl.contains("swapInterval") && gl["swapInterval"].is_number_integer();
    if (c.swapKnown) c.swapInterval = gl["swapInterval"].get<int>();
    c.virtualX = session.privateServer() ? "lumenfold's private Xvfb" : virtualServerOf(session.display());
    context.warnings = conditionWarnings(c);
    context.conditions.governors = c.governors;
    if (c.boost >= 0) context.conditions.boost = c.boost == 1;
    if (c.loadAverage >= 0) context.conditions.loadAverage = c.loadAverage;
    context.conditions.logicalProcessors = c.processors;
    if (!c.virtualX.empty()) context.conditions.virtualX = c.virtualX;
}

// What the GL probe found: the driver's strings and the swap interval in force.
void addProbe(const json& probe, RunContext& context) {
    RunContext found;
    from_json({{"gl", probe.value("gl", json::object())}}, found);
    context.gl = found.gl;
    context.driverRevision = driverRevisionOf(context.gl.version);
    if (probe.contains("error")) context.glProbeError = probe["error"].is_string() ? probe["error"].get<std::string>()
                                                                                    : probe["error"].dump();
    context.swapInterval.inForce = probe.contains("swapInterval") ? probe["swapInterval"] : json(nullptr);
    context.swapInterval.measuredOn = "a small GLX window of lumenfold's on the same display, after asking for "
                                      "interval 0 as the programs do";
}

// What is known before the program starts: the machine, the display, the request.
RunContext contextBeforeRun(const RunSession& session, const RunOptions& options, const std::string& binary,
                            const std::string& directory) {
    RunContext context;
    context.program = options.program;
    context.programPath = binary;
    context.date = isoLocalTime(time(nullptr));
    context.command = options.command;
    context.validation = options.validation;
    context.directory = directory;
    context.display = {session.display(), session.privateServer()};
    const json gl = session.glFor(options.environment);
    addProbe(gl, context);
    RunContext machine;
    from_json(machineContext(), machine);
    context.cpu = machine.cpu;
    context.kernel = machine.kernel;
    context.version = LUMENFOLD_VERSION;
    for (const std::string& name : recordedEnvironment())
        if (const char* value = getenv(name.c_str())) context.environment[name] = value;
    // What the program was given beyond lumenfold's own environment is what it ran with.
    for (const auto& [name, value] : options.environment) context.environment[name] = value;
    context.labels = options.labels;
    context.revision = options.revision;
    checkConditions(session, gl, context);
    const RunLimits& limits = options.limits;
    if (limits.frames > 0) context.request.frames = limits.frames;
    else context.request.seconds = limits.seconds;
    context.request.hangTimeoutSeconds = limits.hangTimeout;
    return context;
}

void addOutcome(RunContext& context, const Supervision& s, const RunOutcome& outcome) {
    if (!outcome.resultsPath.empty()) context.resultsFile = outcome.resultsPath;
    if (s.machine.windowKnown()) context.window = RunContext::Window{int(s.width), int(s.height)};
    RunContext::Outcome o;
    o.ok = outcome.failure.empty();
    if (!o.ok) o.message = outcome.failure;
    o.framesReported = s.machine.watch().frames;
    o.exit = s.machine.exitDescription();
    o.programStderr = s.programErrors;
    context.outcome = o;
}

void writeContext(const std::string& path, const RunContext& context) {
    errno = 0;
    std::ofstream out(path);
    out << json(context).dump(2) << "\n";
    out.close();
    if (out) return;
    const int error = errno;
    // Half a JSON document would only mislead whoever reads it later.
    unlink(path.c_str());
    tell("cannot write the context file " + path + ": " + (error != 0 ? strerror(error) : "write failed"));
}

void sayNewWarnings(RunSession& session, const RunContext& context) {
    for (const std::string& warning : context.warnings)
        if (session.firstWarning(warning)) warn(warning);
}

// The console log goes beside the results file, or stays under its own name
// when there is none; either way it is kept.
void finishLog(Supervision& s, RunOutcome& outcome) {
    std::string error;
    outcome.logPath = s.log.finish(outcome.resultsPath, error);
    if (!error.empty()) warn(error);
}

// Writes the context file, and says what went wrong and where everything is.
void sayOutcome(const RunOutcome& outcome, const RunContext& context) {
    const std::string log = outcome.logPath.empty() ? "" : "; the console of the program is in " + outcome.logPath;
    if (outcome.resultsPath.empty()) {
        tell("run failed: " + outcome.failure);
        tell("no context file is written, as there is no results file to go with it" + log);
        return;
    }
    writeContext(contextPathFor(outcome.resultsPath), context);
    if (!outcome.failure.empty()) {
        tell("run failed: " + outcome.failure);
        tell("the results file is kept: " + outcome.resultsPath + " (context: " +
             contextPathFor(outcome.resultsPath) + ")" + log);
    }
}

void addFailure(std::string& failure, const std::string& more) {
    if (!more.empty()) failure = failure.empty() ? more : failure + "; " + more;
}

}  // namespace

bool interruptRequested() { return interruptSignal != 0; }

void catchInterrupts() { catchSignals(); }

RunSession::~RunSession() {
    closeInput();
    stopXvfb(server_);
}

bool RunSession::open(std::string& error) {
    catchSignals();
    const char* given = getenv("DISPLAY");
    privateServer_ = given == nullptr || *given == '\0';
    if (privateServer_) {
        if (!startXvfb(server_, error)) {
            error = "no DISPLAY is set and " + error;
            return false;
        }
        display_ = server_.display;
        // The probe, the key connection and the programs all find it here.
        setenv("DISPLAY", display_.c_str(), 1);
        setenv("XAUTHORITY", server_.authFile.c_str(), 1);
        tell("no DISPLAY set; running on a private virtual X server (" + display_ + ")");
    } else {
        display_ = given;
    }
    if (!openInput(display_, error)) {
        if (!privateServer_) error += " (from DISPLAY; unset DISPLAY to run on a private virtual X server)";
        return false;
    }
    gl_ = probeGl(display_);
    return true;
}

json RunSession::glFor(const std::map<std::string, std::string>& environment) const {
    return environment.empty() ? gl_ : probeGl(display_, environment);
}

bool prepareRun(const RunOptions& options, std::string& binary, std::string& directory) {
    std::string looked;
    binary = findProgram(options.program, looked);
    if (binary.empty()) {
        tell("cannot find the " + options.program + " program (looked at " + looked + "); build it first");
        return false;
    }
    return makeDirectory(options.directory, directory);
}

RunOutcome runOnce(RunSession& session, Program program, const RunOptions& options, const std::string& binary,
                   const std::string& directory) {
    RunOutcome outcome;
    RunContext context = contextBeforeRun(session, options, binary, directory);
    sayNewWarnings(session, context);
    Supervision s(program, options, windowTitle(program), session.display());
    s.earlierWindows = windowsTitled(s.title);
    const std::set<std::string> earlierFiles = resultsFilesIn(directory, program);
    std::string error;
    if (!s.log.open(directory, programName(program), error)) {
        warn(error + "; the console of " + programName(program) + " is shown here instead");
        s.echo = true;
    }
    RunTiming timing;
    if (options.timing && !timing.prepare(directory, programName(program))) {
        s.log.discard();
        outcome.failure = "the timing library cannot be found";
        return outcome;
    }
    const bool spawned = spawnWithPipes(binary, directory, s.child, error, options.environment);
    timing.started();
    if (!spawned) {
        s.log.discard();
        tell("run failed: " + error);
        outcome.failure = error;
        return outcome;
    }
    RunSampling sampling;
    sampling.start(directory, programName(program), s.child.pid, options.sampleIntervalMs);
    supervise(s);
    outcome.failure = s.machine.verdict();

    std::string note;
    outcome.resultsPath = findResultsFile(s.machine.watch(), directory, earlierFiles, note);
    timing.finish(outcome.resultsPath, context);
    // A file short of frames, or a write the program saw fail, is a failed
    // run even when the program ended well: the figures are not all there.
    if (!outcome.resultsPath.empty()) {
        outcome.results = readResultsFile(outcome.resultsPath);
        addFailure(outcome.failure, resultsShortfall(s.machine.watch(), frameCount(outcome.results)));
    } else {
        if (!s.machine.watch().writeFailure.empty()) addFailure(outcome.failure, resultsShortfall(s.machine.watch(), 0));
        addFailure(outcome.failure, note);
    }
    finishLog(s, outcome);
    sampling.finish(outcome.resultsPath, context);
    addOutcome(context, s, outcome);
    outcome.context = context;
    sayOutcome(outcome, context);
    if (outcome.failure.empty() && !outcome.resultsPath.empty() && options.finished)
        options.finished(outcome.resultsPath);
    return outcome;
}

bool prepareSession(const RunOptions& options, std::string& binary, std::string& directory, RunSession& session) {
    if (!prepareRun(options, binary, directory)) return false;
    std::string error;
    if (session.open(error)) return true;
    tell(error);
    return false;
}
