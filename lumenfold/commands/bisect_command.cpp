#include "commands/bisect_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include <nlohmann/json.hpp>

#include "analysis/bisect_judgement.h"
#include "common/display_text.h"
#include "common/messages.h"
#include "common/name_value.h"
#include "common/whole_file.h"
#include "model/context_file.h"
#include "model/figures.h"
#include "output/bisect_output.h"
#include "programs/programs.h"
#include "run/machine_lock.h"
#include "run/program_run.h"
#include "run/revision_trees.h"
#include "run/series.h"

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// The runs of one revision in one folder: those kept from before, then
// those measured now.
struct Measured {
    Revision revision;
    std::string folder;
    std::string role;    // in the table: "good end", "step 2", "parent", "bad end, again"
    std::string tag;     // in progress lines, before the revision's name
    std::vector<ResultsRun> runs;
};

// What came of trying to add a run.
enum class Step { ran, buildFailed, runFailed, stopped, failed };

// In a revision's folder: its build failed, for the reason inside.
constexpr const char* buildFailedMark = "build-failed";

std::string dateStamp() {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char text[32];
    strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// Results files in the folder, in the order their names give (date and
// time of day in them): the order they were made in.
std::vector<std::string> resultsFilesOf(const std::string& folder, Program program) {
    std::vector<std::string> files;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(resultsNamePrefix(program)) && name.ends_with(resultsNameSuffix))
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string counted(size_t n, const char* one) { return std::to_string(n) + " " + one + (n == 1 ? "" : "s"); }

class Bisection {
public:
    Bisection(const BisectOptions& options, Program program, std::map<std::string, std::string> environment)
        : options_(options), program_(program), environment_(std::move(environment)),
          maxRuns_(options.maxRuns > 0 ? options.maxRuns : 3 * options.runs) {}

    int run();

private:
    bool openTrees();
    bool openRuns();
    bool checkRecord();
    Measured load(const Revision& revision, const std::string& where, const std::string& role,
                  const std::string& tag);
    bool kept(const ReportedRun& run, const Revision& revision) const;
    Step runOnce(Measured& m, int slot, const std::string& ordinal);
    Step measure(Measured& m, size_t wanted, int slot, const std::string& ordinal);
    Step measureByTurns(Measured& a, Measured& b, size_t wanted, const std::string& what);
    bool resolveFigure(const Measured& good, const Measured& bad);
    RunSamples samples(const Measured& m, size_t count = SIZE_MAX) const;
    void addRow(const Measured& m, const std::string& verdict);
    bool measureEnds(Measured& good, Measured& bad);
    bool search(const Measured& good, const Measured& bad);
    std::optional<Mark> judge(const Measured& good, const Measured& bad, const SearchState& state);
    bool confirmRuns(Measured& a, Measured& b, size_t each, const std::string& what);
    void confirm(const Revision& culprit);
    bool stopFor(Step step, const std::string& what);
    int finish();

    BisectOptions options_;
    Program program_;
    std::map<std::string, std::string> environment_;
    int maxRuns_;
    RunSession session_;
    std::string binary_, directory_;
    std::unique_ptr<RevisionTrees> trees_;
    FigureSpec figure_;
    bool figureKnown_ = false;
    int step_ = 0;
    bool usageError_ = false;   // the ends, the list or the folder named cannot serve
    BisectReport report_;
};

int Bisection::run() {
    if (!openTrees()) return finish();
    // Held from the first build to the last run, and not only while a
    // program runs: a build beside another benchmark spoils its figures too.
    MachineLock machine;
    if (!holdMachine(machine, options_.command, options_.noWait)) return 1;
    if (!openRuns()) return finish();
    Measured good = load(trees_->good(), "", "good end", "good end");
    Measured bad = load(trees_->bad(), "", "bad end", "bad end");
    if (!measureEnds(good, bad)) return finish();
    if (!search(good, bad)) return finish();
    if (report_.culprit) confirm(*report_.culprit);
    return finish();
}

bool Bisection::openTrees() {
    report_.program = options_.program;
    report_.runs = options_.runs;
    // Before the worktree is made: a Ctrl-C from here on is handled, so it is removed.
    catchInterrupts();
    OpenError error;
    trees_ = options_.builds.empty()
                 ? openGitTrees(options_.repository, options_.good, options_.bad, options_.build, interruptRequested, error)
                 : openBuildList(options_.builds, error);
    if (!trees_) {
        report_.reason = error.text;
        usageError_ = error.given;
        return false;
    }
    report_.good = trees_->good();
    report_.bad = trees_->bad();
    return true;
}

bool Bisection::openRuns() {
    RunOptions where;
    where.program = options_.program;
    where.directory = options_.directory.empty() ? "lumenfold-bisect-" + dateStamp() : options_.directory;
    report_.directory = where.directory;
    if (!prepareSession(where, binary_, directory_, session_)) {
        report_.reason = "the runs could not be set up: see the messages above";
        return false;
    }
    report_.directory = directory_;
    return checkRecord();
}

// What the kept runs were measured with: a folder of another bisection
// (other ends, program, build or environment) must not be taken for this one's.
bool Bisection::checkRecord() {
    json record = {{"program", options_.program},
                   {"frames", options_.limits.frames},
                   {"seconds", options_.limits.seconds},
                   {"good", trees_->good().id},
                   {"bad", trees_->bad().id},
                   {"build", options_.build},
                   {"environment", environment_}};
    if (!options_.builds.empty()) record["builds"] = options_.builds;
    const std::string path = directory_ + "/bisect.json";
    std::string text, error;
    if (readRegularFile(path, 1 << 20, text, error)) {
        const json kept = json::parse(text, nullptr, false);
        for (const auto& [key, value] : record.items())
            if (!kept.is_object() || !kept.contains(key) || kept[key] != value) {
                report_.reason = displayText(directory_) + " holds the runs of another bisection (its " + key +
                                 " differs): give another --dir";
                usageError_ = true;
                return false;
            }
        return true;
    }
    if (writeWholeFile(path, record.dump(2) + "\n", error)) return true;
    report_.reason = displayText(error);
    return false;
}

bool Bisection::kept(const ReportedRun& run, const Revision& revision) const {
    if (!run.context.present || run.validation() || !run.run.recognised || !run.run.problems.empty()) return false;
    const RunContext& c = run.context.context;
    if (!c.outcome || !c.outcome->ok || c.program != options_.program) return false;
    if (options_.builds.empty()) return c.revision == revision.id;
    const auto build = c.labels.find("build");
    return build != c.labels.end() && build->second == revision.id;
}

Measured Bisection::load(const Revision& revision, const std::string& where, const std::string& role,
                         const std::string& tag) {
    Measured m{revision, directory_ + "/" + where + revision.folder, role, tag, {}};
    std::error_code ignored;
    fs::create_directories(m.folder, ignored);
    size_t left = 0;
    for (ReportedRun& run : readReportedRuns(resultsFilesOf(m.folder, program_))) {
        if (!kept(run, revision)) {
            ++left;
            continue;
        }
        if (options_.finished) options_.finished(run.run.path);
        m.runs.push_back(std::move(run.run));
    }
    if (!m.runs.empty())
        tell(tag + " " + revision.name + ": " + counted(m.runs.size(), "run") + " kept from before in " +
             displayText(m.folder) + (left > 0 ? " (" + std::to_string(left) + " failed or foreign ones left out)" : ""));
    return m;
}

Step Bisection::runOnce(Measured& m, int slot, const std::string& ordinal) {
    if (interruptRequested()) return Step::stopped;
    const Tree tree = trees_->tree(m.revision, slot, m.folder + "/build.log");
    if (interruptRequested()) return Step::stopped;
    if (!tree.ready) {
        tell(m.revision.name + ": " + tree.error);
        // Kept, so that a resumed bisection does not build it again to the same end.
        if (tree.buildFailed) std::ofstream(m.folder + "/" + buildFailedMark) << tree.error << "\n";
        return tree.buildFailed ? Step::buildFailed : Step::failed;
    }
    RunOptions run;
    run.program = options_.program;
    run.limits = options_.limits;
    run.command = options_.command;
    run.directory = m.folder;
    run.ordinal = ordinal;
    run.finished = options_.finished;
    for (const auto& [name, value] : environment_) run.environment[name] = withTree(value, tree.path);
    if (options_.builds.empty()) run.revision = m.revision.id;
    else run.labels["build"] = m.revision.id;
    RunOutcome outcome = ::runOnce(session_, program_, run, binary_, m.folder);
    if (interruptRequested()) return Step::stopped;
    if (!outcome.failure.empty() || !outcome.results.problems.empty()) return Step::runFailed;
    const MainFigure own = figureKnown_ ? MainFigure{figure_.label, {figureSamples(outcome.results, figure_)}}
                                        : mainFigure(program_, {outcome.results});
    tell(ordinal + ": " + own.name + " " + figureText(medianOfRunMedians(own.runs)));
    m.runs.push_back(std::move(outcome.results));
    return Step::ran;
}

Step Bisection::measure(Measured& m, size_t wanted, int slot, const std::string& ordinal) {
    while (m.runs.size() < wanted) {
        const Step step = runOnce(m, slot, ordinal + ", run " + std::to_string(m.runs.size() + 1) + " of " +
                                               (wanted > size_t(options_.runs) ? "at most " + std::to_string(maxRuns_)
                                                                              : std::to_string(wanted)));
        if (step != Step::ran) return step;
    }
    return Step::ran;
}

// Two revisions measured by turns, a run of one then a run of the other, so
// that whatever drifts on the machine meanwhile weighs on both alike.
Step Bisection::measureByTurns(Measured& a, Measured& b, size_t wanted, const std::string& what) {
    for (size_t turn = 1; turn <= wanted; ++turn)
        for (auto [m, slot] : {std::pair{&a, 1}, std::pair{&b, 0}}) {
            if (m->runs.size() >= turn) continue;
            const Step step = runOnce(*m, slot, what + ": " + m->tag + " " + m->revision.name + ", run " +
                                                    std::to_string(turn) + " of " + std::to_string(wanted));
            if (step != Step::ran) return step;
        }
    return Step::ran;
}

// The figure every revision is judged by. A per-step figure is taken at one
// step, the deepest both ends reached, fixed before any step is judged.
bool Bisection::resolveFigure(const Measured& good, const Measured& bad) {
    const std::string key = options_.figure.empty() ? mainFigureSpec(program_).key : options_.figure;
    std::optional<FigureSpec> spec = findFigure(program_, key);
    for (const FigureSpec& family : programFigures(program_)) {
        if (!family.perStep || family.key != key) continue;
        std::vector<ResultsRun> ends = good.runs;
        ends.insert(ends.end(), bad.runs.begin(), bad.runs.end());
        const long step = deepestCommonStep(ends);
        if (step > 0) spec = figureAtStep(family, step);
    }
    if (!spec) {
        report_.reason = "the ends' runs give no " + key + " to judge by";
        return false;
    }
    figure_ = *spec;
    figureKnown_ = true;
    report_.figureKey = figure_.key;
    report_.figureLabel = figure_.label;
    report_.direction = figure_.direction;
    return true;
}

RunSamples Bisection::samples(const Measured& m, size_t count) const {
    RunSamples out;
    for (size_t i = 0; i < m.runs.size() && i < count; ++i) out.push_back(figureSamples(m.runs[i], figure_));
    return out;
}

void Bisection::addRow(const Measured& m, const std::string& verdict) {
    report_.rows.push_back(BisectRow{m.revision, m.role, m.runs.size(), medianOfRunMedians(samples(m)), verdict, m.folder});
}

// False once the bisection cannot go on; the report says why.
bool Bisection::stopFor(Step step, const std::string& what) {
    switch (step) {
        case Step::ran: return true;
        case Step::stopped:
            report_.result = BisectResult::stopped;
            report_.reason = "interrupted";
            break;
        case Step::buildFailed: report_.reason = what + " does not build"; break;
        case Step::runFailed: report_.reason = "a run of " + what + " failed: see the messages above"; break;
        case Step::failed: report_.reason = what + " could not be measured: see the messages above"; break;
    }
    return false;
}

bool Bisection::measureEnds(Measured& good, Measured& bad) {
    for (Measured* m : {&good, &bad}) {
        const Step step = measure(*m, size_t(options_.runs), 0, m->tag + " " + m->revision.name);
        if (step != Step::ran) return stopFor(step, "the " + m->tag + " " + m->revision.name);
    }
    if (!resolveFigure(good, bad)) return false;
    const EndsJudgement ends = judgeEnds(samples(good), samples(bad), figure_.direction);
    report_.ends = ends;
    addRow(good, "good");
    addRow(bad, "bad");
    if (ends.change != Verdict::noClearDifference) return true;
    report_.result = BisectResult::refused;
    tell("the ends do not differ: good " + intervalText(ends.good) + "; bad " + intervalText(ends.bad) +
         "; there is nothing to bisect");
    return false;
}

std::string judgementText(const RevisionJudgement& j) {
    auto ratio = [](const Interval& r) {
        return figureText(r.estimate) + " [" + figureText(r.low) + ", " + figureText(r.high) + "]";
    };
    return ratio(j.againstGood) + " of the good end, " + ratio(j.againstBad) + " of the bad end";
}

// The mark a revision gets: judged on its first runs, with one more run
// while undecided, up to the most allowed. Kept runs count first, in the
// order they were made, so that a resumed bisection decides as before.
std::optional<Mark> Bisection::judge(const Measured& good, const Measured& bad, const SearchState& state) {
    Measured m = load(state.revision, "", "step " + std::to_string(step_), "step " + std::to_string(step_));
    const std::string name = "step " + std::to_string(step_) + ": " + m.revision.name;
    const std::string ordinal = "step " + std::to_string(step_) + " of about " +
                                std::to_string(step_ + state.stepsLeft) + ": " + m.revision.name;
    const RunSamples goodSamples = samples(good), badSamples = samples(bad);
    std::error_code ignored;
    const bool failedBefore = m.runs.empty() && fs::exists(m.folder + "/" + buildFailedMark, ignored);
    for (size_t wanted = size_t(options_.runs);; ++wanted) {
        const Step step = failedBefore ? Step::buildFailed : measure(m, wanted, 0, ordinal);
        if (step == Step::buildFailed || step == Step::runFailed) {
            const std::string why = failedBefore                ? "the build failed (when last tried)"
                                    : step == Step::buildFailed ? "the build failed"
                                                                : "a run failed";
            tell(name + " is skipped: " + why);
            addRow(m, "skipped: " + why);
            return Mark::undecided;
        }
        if (step != Step::ran) {
            stopFor(step, m.revision.name);
            return std::nullopt;
        }
        const RevisionJudgement j =
            judgeRevision(goodSamples, badSamples, samples(m, wanted), figure_.direction, report_.ends->change);
        if (j.mark != Mark::undecided) {
            tell(name + " is " + markName(j.mark) + ": " + judgementText(j));
            addRow(m, markName(j.mark));
            return j.mark;
        }
        const std::string why = j.restsOnOneRun ? "one run decides it" : judgementText(j);
        if (wanted >= size_t(maxRuns_)) {
            tell(name + " is skipped: undecided after " + counted(wanted, "run") + " (" + why + ")");
            addRow(m, "skipped: undecided after " + counted(wanted, "run"));
            return Mark::undecided;
        }
        tell(name + " is undecided after " + counted(wanted, "run") + " (" + why + "): one more run");
    }
}

bool Bisection::search(const Measured& good, const Measured& bad) {
    SearchState state = trees_->start();
    while (state.kind == SearchState::Kind::test) {
        ++step_;
        const std::optional<Mark> mark = judge(good, bad, state);
        if (!mark) return false;
        state = trees_->mark(state.revision, *mark);
    }
    if (state.kind == SearchState::Kind::found) {
        report_.culprit = state.revision;
        tell("first bad: " + state.revision.name + "; confirming it against its parent");
        return true;
    }
    if (state.kind == SearchState::Kind::ambiguous) {
        report_.result = BisectResult::ambiguous;
        report_.candidates = state.candidates;
    } else {
        report_.reason = state.error;
    }
    return false;
}

// False when the runs could not be had; the report then says why.
bool Bisection::confirmRuns(Measured& a, Measured& b, size_t each, const std::string& what) {
    const Step step = measureByTurns(a, b, each, what);
    if (step == Step::ran) return true;
    stopFor(step, what);
    if (report_.result != BisectResult::stopped) {
        report_.result = BisectResult::unreliable;
        report_.reason = "the " + what + " could not be measured: " + report_.reason;
    }
    return false;
}

void Bisection::confirm(const Revision& culprit) {
    Revision parentRevision;
    if (!trees_->parentOf(culprit, parentRevision, report_.reason)) {
        report_.result = BisectResult::unreliable;
        return;
    }
    report_.parent = parentRevision;
    Measured parent = load(parentRevision, "confirm/", "parent", "parent");
    Measured guilty = load(culprit, "confirm/", "culprit", "culprit");
    report_.confirmationRuns = 2 * options_.runs;
    if (!confirmRuns(parent, guilty, size_t(report_.confirmationRuns), "confirmation")) return;
    const Confirmation confirmation = confirmCulprit(samples(parent), samples(guilty), figure_.direction,
                                                     report_.ends->change);
    report_.confirmation = confirmation;
    addRow(parent, "good");
    addRow(guilty, confirmation.confirmed ? "bad, confirmed" : "not confirmed");
    Measured goodAgain = load(report_.good, "again/", "good end, again", "good end");
    Measured badAgain = load(report_.bad, "again/", "bad end, again", "bad end");
    if (!confirmRuns(goodAgain, badAgain, size_t(options_.runs), "the ends again")) return;
    const EndsJudgement again = judgeEnds(samples(goodAgain), samples(badAgain), figure_.direction);
    report_.endsAgain = again;
    const bool drifted = again.change != report_.ends->change;
    addRow(goodAgain, "good");
    addRow(badAgain, drifted ? "no longer differs" : "bad");
    report_.share = culpritShare(confirmation.ratio.estimate, (drifted ? *report_.ends : again).ratio.estimate);
    report_.result = confirmation.confirmed && !drifted ? BisectResult::culprit : BisectResult::unreliable;
    if (!confirmation.confirmed)
        report_.reason = "measured by turns against its parent, it does not differ as the ends do";
    else if (drifted)
        report_.reason = "the ends, measured again, no longer differ (the machine drifted)";
}

int Bisection::finish() {
    if (usageError_) {
        tell(report_.reason);
        return 2;
    }
    std::string out;
    if (options_.format == "json")
        out = bisectJson(report_).dump(2, ' ', false, json::error_handler_t::replace) + "\n";
    else if (options_.format == "markdown") out = bisectMarkdown(report_);
    else out = bisectText(report_);
    if (options_.format == "text") out = "\n" + out;
    fputs(out.c_str(), stdout);
    fflush(stdout);
    return report_.result == BisectResult::culprit ? 0 : 1;
}

}  // namespace

CLI::App* addBisectCommand(CLI::App& app, BisectOptions& o) {
    CLI::App* bisect = app.add_subcommand(
        "bisect", "Find the commit that changed a figure between a good and a bad revision: each revision git bisect "
                  "asks for is built in a worktree of lumenfold's own, run and judged against both ends; the first "
                  "bad one is confirmed against its parent. Exit 0 with a confirmed culprit, 1 without one.");
    bisect->add_option("program", o.program, programList())->required()->check(CLI::IsMember(programNames()));
    CLI::Option* repo = bisect->add_option("--repo", o.repository, "the git repository (it is never changed)");
    CLI::Option* good = bisect->add_option("--good", o.good, "a revision with the figure as it should be");
    CLI::Option* bad = bisect->add_option("--bad", o.bad, "a later revision with the figure changed");
    CLI::Option* build = bisect->add_option("--build", o.build, "shell command that builds a revision in its "
                                                                "worktree ({tree}: the worktree's path)");
    CLI::Option* builds = bisect->add_option("--builds", o.builds, "instead of a repository: a file listing built "
                                                                   "trees, one directory a line, oldest first");
    for (CLI::Option* option : {repo, good, bad, build}) option->excludes(builds);
    bisect->add_option("--env", o.environment, "NAME=VALUE set for the program, making it use the build "
                                               "(LD_LIBRARY_PATH, LIBGL_DRIVERS_PATH, LD_PRELOAD...); {tree} in "
                                               "VALUE: the tree's path; repeatable");
    bisect->add_option("--figure", o.figure, "the figure to judge by, by its key as compare names it "
                                             "(default: the program's main figure)");
    CLI::Option* frames = bisect->add_option("--frames", o.limits.frames, "frames each run reports (default 5)")
                              ->check(CLI::Range(1, 1000000));
    CLI::Option* seconds = bisect->add_option("--seconds", o.limits.seconds, "or seconds each run lasts after R")
                               ->check(CLI::PositiveNumber);
    frames->excludes(seconds);
    bisect->add_option("--runs", o.runs, "runs of each revision, at first")->capture_default_str()->check(CLI::Range(2, 1000));
    bisect->add_option("--max-runs", o.maxRuns, "the most runs of a revision still undecided (default: three times "
                                                "--runs)")
        ->check(CLI::Range(2, 10000));
    bisect->add_option("--hang-timeout", o.limits.hangTimeout, "seconds without a new console line that count as a hang")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    bisect->add_option("--dir", o.directory, "where every run is kept, a folder per revision; the same --dir "
                                             "resumes a bisection cut short (default: lumenfold-bisect-DATE-TIME here)");
    bisect->add_option("--format", o.format, "text, json or markdown")
        ->capture_default_str()
        ->check(CLI::IsMember({"text", "json", "markdown"}));
    return bisect;
}

int bisectCommand(const BisectOptions& options) {
    const Program program = findProgram(options.program);
    if (program == nullptr) {
        tell("unknown program \"" + displayText(options.program) + "\": expected " + programList());
        return 2;
    }
    const bool fromRepository = !options.repository.empty() || !options.good.empty() || !options.bad.empty() ||
                                !options.build.empty();
    if (options.builds.empty() &&
        (options.repository.empty() || options.good.empty() || options.bad.empty() || options.build.empty())) {
        tell(fromRepository ? "bisect needs all of --repo, --good, --bad and --build"
                            : "bisect needs --repo, --good, --bad and --build, or --builds");
        return 2;
    }
    if (options.maxRuns > 0 && options.maxRuns < options.runs) {
        tell("--max-runs " + std::to_string(options.maxRuns) + " is fewer than --runs " + std::to_string(options.runs));
        return 2;
    }
    const FigureSpec& main = mainFigureSpec(program);
    if (!options.figure.empty() && !findFigure(program, options.figure) &&
        !(main.perStep && options.figure == main.key)) {
        std::string keys;
        for (const FigureSpec& spec : programFigures(program)) keys += (keys.empty() ? "" : ", ") + spec.key + (spec.perStep ? "N" : "");
        tell("\"" + displayText(options.figure) + "\" is no figure of " + options.program + "; its figures: " + keys);
        return 2;
    }
    std::map<std::string, std::string> environment;
    std::string error;
    if (!parseNameValues(options.environment, NameKind::variable, environment, error)) {
        tell("--env: " + error);
        return 2;
    }
    BisectOptions given = options;
    if (given.limits.frames == 0 && given.limits.seconds == 0) given.limits.frames = 5;
    Bisection bisection(given, program, std::move(environment));
    return bisection.run();
}
