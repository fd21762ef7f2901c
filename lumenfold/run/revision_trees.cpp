#include "run/revision_trees.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/display_text.h"
#include "common/process.h"

namespace fs = std::filesystem;

namespace {

// A child's whole output and how it ended.
struct Captured {
    bool started = false;
    int status = 0;
    std::string output, errors;
    std::string error;   // could not start
    bool ok() const { return started && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

// Copies what the child writes to `sink` until both pipes close, or until
// a few seconds after the child ended (something it started, a compiler
// server say, may hold them open). When stop says so, the child's process
// group is ended (SIGTERM, then SIGKILL). The child's wait status.
int follow(ChildProcess& child, const std::function<void(const char*, size_t, bool)>& sink, const StopAsked& stop) {
    bool open[2] = {true, true};
    double stopAt = 0, exitAt = 0;
    int status = 0;
    char buffer[8192];
    while ((open[0] || open[1]) && (exitAt == 0 || monotonicSeconds() - exitAt < 5)) {
        pollfd fds[2] = {{open[0] ? child.output : -1, POLLIN, 0}, {open[1] ? child.errors : -1, POLLIN, 0}};
        poll(fds, 2, 200);
        for (int i = 0; i < 2; ++i) {
            if (!open[i] || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            const ssize_t got = read(i == 0 ? child.output : child.errors, buffer, sizeof buffer);
            if (got > 0) sink(buffer, size_t(got), i == 1);
            else if (got == 0 || errno != EINTR) open[i] = false;
        }
        if (exitAt == 0 && waitpid(child.pid, &status, WNOHANG) == child.pid) exitAt = monotonicSeconds();
        if (stopAt == 0 && stop && stop()) {
            stopAt = monotonicSeconds();
            kill(-child.pid, SIGTERM);
        }
        if (stopAt > 0 && exitAt == 0 && monotonicSeconds() - stopAt > 10) kill(-child.pid, SIGKILL);
    }
    closePipes(child);
    if (exitAt == 0)
        while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
        }
    return status;
}

Captured capture(ChildSpec spec, const StopAsked& stop = nullptr) {
    Captured out;
    spec.input = Stream::discard;
    spec.output = spec.errors = Stream::pipe;
    // Its own process group: a Ctrl-C is lumenfold's to handle, and a step
    // of git is never cut in half by it.
    spec.detached = true;
    ChildProcess child;
    if (!startChild(spec, child, out.error)) return out;
    out.started = true;
    out.status = follow(
        child, [&out](const char* data, size_t size, bool errors) { (errors ? out.errors : out.output).append(data, size); },
        stop);
    return out;
}

std::string firstLines(const std::string& text, size_t lines) {
    std::string out;
    size_t begin = 0;
    for (size_t n = 0; n < lines && begin < text.size(); ++n) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        if (end > begin) out += (out.empty() ? "" : "; ") + text.substr(begin, end - begin);
        begin = end + 1;
    }
    return displayText(out);
}

bool isHash(const std::string& word) {
    return (word.size() == 40 || word.size() == 64) &&
           std::all_of(word.begin(), word.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) && !std::isupper(static_cast<unsigned char>(c)); });
}

// Characters a path may hold to go into a shell command unquoted.
bool shellSafe(const std::string& path) {
    return !path.empty() && std::all_of(path.begin(), path.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("/._-+", c) != nullptr;
    });
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines;
}

}  // namespace

std::string withTree(const std::string& text, const std::string& path) {
    std::string out = text;
    const std::string mark = "{tree}";
    for (size_t at = out.find(mark); at != std::string::npos; at = out.find(mark, at + path.size()))
        out.replace(at, mark.size(), path);
    return out;
}

SearchState readBisectOutput(const std::string& output, int exitStatus) {
    SearchState state;
    const std::vector<std::string> lines = linesOf(output);
    bool anyOf = false;
    for (const std::string& line : lines) {
        const std::string word = line.substr(0, line.find(' '));
        if (line.ends_with(" is the first bad commit") && isHash(word)) {
            state.kind = SearchState::Kind::found;
            state.revision.id = word;
            return state;
        }
        if (line.starts_with("There are only 'skip'ped commits left to test.")) anyOf = true;
        if (anyOf && isHash(line)) state.candidates.push_back(Revision{line, "", "", "", ""});
        if (line.starts_with("[") && line.find(']') != std::string::npos && isHash(line.substr(1, line.find(']') - 1)))
            state.revision.id = line.substr(1, line.find(']') - 1);
        const size_t roughly = line.find("(roughly ");
        if (roughly != std::string::npos) state.stepsLeft = std::atoi(line.c_str() + roughly + 9);
    }
    if (anyOf && !state.candidates.empty()) {
        state.kind = SearchState::Kind::ambiguous;
        return state;
    }
    if (exitStatus == 0 && !state.revision.id.empty()) {
        state.kind = SearchState::Kind::test;
        return state;
    }
    state.kind = SearchState::Kind::failed;
    state.error = "git bisect said: " + firstLines(output, 4);
    return state;
}

ListBisection::ListBisection(size_t count) : good_(0), bad_(count == 0 ? 0 : count - 1) {}

std::optional<size_t> ListBisection::next() const {
    if (bad_ <= good_ + 1) return std::nullopt;
    const size_t middle = good_ + (bad_ - good_) / 2;
    // Outwards from the middle, lower side first, past what was skipped.
    for (size_t distance = 0; distance < bad_ - good_; ++distance)
        for (size_t index : {middle - std::min(distance, middle), middle + distance})
            if (index > good_ && index < bad_ && skipped_.count(index) == 0) return index;
    return std::nullopt;
}

void ListBisection::mark(size_t index, Mark mark) {
    if (index <= good_ || index >= bad_) return;
    if (mark == Mark::good) good_ = index;
    if (mark == Mark::bad) bad_ = index;
    if (mark == Mark::undecided) skipped_.insert(index);
}

std::vector<size_t> ListBisection::candidates() const {
    std::vector<size_t> out;
    for (size_t index = good_ + 1; index <= bad_; ++index)
        if (index == bad_ || skipped_.count(index) != 0) out.push_back(index);
    return out;
}

int ListBisection::stepsLeft() const {
    size_t left = 0;
    for (size_t index = good_ + 1; index < bad_; ++index) left += skipped_.count(index) == 0 ? 1 : 0;
    int steps = 0;
    // After the next test about half of the rest is left, and so on.
    for (left /= 2; left > 0; left /= 2) ++steps;
    return steps;
}

namespace {

// Runs the build command in the tree through the shell, its output to the
// log; the exit status, or the reason it could not run, in `failure`.
bool runBuild(const std::string& command, const std::string& tree, const std::string& logPath, const StopAsked& stop,
              std::string& failure) {
    std::ofstream log(logPath, std::ios::app);
    if (!log) {
        failure = "cannot write the build log " + displayText(logPath);
        return false;
    }
    const std::string line = withTree(command, tree);
    log << "$ cd " << tree << " && " << line << "\n" << std::flush;
    ChildSpec spec;
    spec.argv = {"/bin/sh", "-c", line};
    spec.directory = tree;
    spec.input = Stream::discard;
    spec.output = spec.errors = Stream::pipe;
    spec.detached = true;
    ChildProcess child;
    if (!startChild(spec, child, failure)) return false;
    const int status =
        follow(child, [&log](const char* data, size_t size, bool) { log.write(data, std::streamsize(size)); }, stop);
    log.flush();
    if (stop && stop()) {
        failure = "stopped";
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    failure = "the build " + describeWaitStatus(status) + " (its output: " + displayText(logPath) + ")";
    return false;
}

class GitTrees : public RevisionTrees {
public:
    GitTrees(const std::string& repository, const std::string& build, StopAsked stop)
        : repository_(repository), build_(build), stop_(std::move(stop)) {}
    ~GitTrees() override { close(); }

    bool open(const std::string& good, const std::string& bad, OpenError& error);
    const Revision& good() const override { return good_; }
    const Revision& bad() const override { return bad_; }
    SearchState start() override { return after(bisect({"start", bad_.id, good_.id})); }
    SearchState mark(const Revision& revision, Mark mark) override {
        const char* verb = mark == Mark::good ? "good" : mark == Mark::bad ? "bad" : "skip";
        return after(bisect({verb, revision.id}));
    }
    bool parentOf(const Revision& culprit, Revision& parent, std::string& error) override;
    Tree tree(const Revision& revision, int slot, const std::string& logPath) override;

private:
    struct Slot {
        std::string path;
        std::string built;   // the revision whose build the worktree holds
    };

    Captured git(const std::string& directory, const std::vector<std::string>& arguments) const;
    Captured bisect(const std::vector<std::string>& arguments);
    SearchState after(const Captured& run) const;
    bool resolve(const std::string& given, Revision& out, OpenError& error) const;
    bool describe(const std::string& hash, Revision& out) const;
    bool checkout(int slot, const std::string& hash, std::string& error);
    void close();

    std::string repository_, build_;
    StopAsked stop_;
    std::string temporary_;
    Slot slots_[2];
    Revision good_, bad_;
};

Captured GitTrees::git(const std::string& directory, const std::vector<std::string>& arguments) const {
    ChildSpec spec;
    spec.argv = {"git", "-C", directory};
    spec.argv.insert(spec.argv.end(), arguments.begin(), arguments.end());
    // Messages read in one language; the user's GIT_DIR and the like would
    // point every command at another repository than the one named.
    spec.environment = {{"LC_ALL", "C"},          {"GIT_DIR", std::nullopt},        {"GIT_WORK_TREE", std::nullopt},
                        {"GIT_INDEX_FILE", std::nullopt}, {"GIT_PREFIX", std::nullopt}, {"GIT_TERMINAL_PROMPT", "0"}};
    Captured run = capture(spec);
    if (!run.started) run.error = "cannot run git: " + run.error;
    return run;
}

// Run in the worktree, whose index and files are git's to change; what a
// build changed in tracked files goes first, so that git can check out the next.
Captured GitTrees::bisect(const std::vector<std::string>& arguments) {
    git(slots_[0].path, {"reset", "--hard", "-q"});
    std::vector<std::string> command = {"bisect"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    Captured run = git(slots_[0].path, command);
    // Whatever git checked out is not built yet.
    slots_[0].built.clear();
    return run;
}

SearchState GitTrees::after(const Captured& run) const {
    if (!run.started) return SearchState{SearchState::Kind::failed, {}, {}, 0, run.error};
    SearchState state = readBisectOutput(run.output + run.errors, WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1);
    if (state.kind == SearchState::Kind::test || state.kind == SearchState::Kind::found)
        if (!describe(state.revision.id, state.revision)) state.revision.name = state.revision.id.substr(0, 7);
    for (Revision& candidate : state.candidates)
        if (!describe(candidate.id, candidate)) candidate.name = candidate.id.substr(0, 7);
    return state;
}

bool GitTrees::describe(const std::string& hash, Revision& out) const {
    const Captured run = git(repository_, {"log", "-1", "--format=%H%n%h%n%aI%n%s", hash, "--"});
    const std::vector<std::string> lines = linesOf(run.output);
    if (!run.ok() || lines.size() < 3 || !isHash(lines[0])) return false;
    out.id = lines[0];
    out.name = lines[1];
    out.date = lines[2];
    out.subject = lines.size() > 3 ? lines[3] : "";
    out.folder = lines[0];
    return true;
}

bool GitTrees::resolve(const std::string& given, Revision& out, OpenError& error) const {
    const Captured run = git(repository_, {"rev-parse", "--verify", "--end-of-options", given + "^{commit}"});
    const std::vector<std::string> lines = linesOf(run.output);
    if (run.ok() && !lines.empty() && describe(lines[0], out)) return true;
    error.given = run.error.empty();
    error.text = error.given ? "\"" + displayText(given) + "\" is not a commit of " + displayText(repository_) : run.error;
    return false;
}

bool GitTrees::open(const std::string& good, const std::string& bad, OpenError& error) {
    const Captured inside = git(repository_, {"rev-parse", "--git-dir"});
    if (!inside.ok()) {
        error.given = inside.error.empty();
        error.text = error.given ? displayText(repository_) + " is not a git repository: " + firstLines(inside.errors, 2)
                                 : inside.error;
        return false;
    }
    if (!resolve(good, good_, error) || !resolve(bad, bad_, error)) return false;
    const char* tmp = getenv("TMPDIR");
    // The worktree's path goes into the build command as it is.
    std::string base = tmp != nullptr && shellSafe(tmp) ? tmp : "/tmp";
    std::string pattern = base + "/lumenfold-bisect-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        error.text = "cannot make a temporary folder in " + base + ": " + strerror(errno);
        return false;
    }
    temporary_ = pattern;
    slots_[0].path = temporary_ + "/tree";
    const Captured added = git(repository_, {"worktree", "add", "--detach", "-q", slots_[0].path, bad_.id});
    if (!added.ok()) {
        slots_[0].path.clear();
        error.text = "cannot make a worktree: " + (added.error.empty() ? firstLines(added.errors, 3) : added.error);
        return false;
    }
    return true;
}

bool GitTrees::parentOf(const Revision& culprit, Revision& parent, std::string& error) {
    const Captured run = git(repository_, {"rev-parse", "--verify", "-q", culprit.id + "^1"});
    const std::vector<std::string> lines = linesOf(run.output);
    if (run.ok() && !lines.empty() && describe(lines[0], parent)) return true;
    error = culprit.name + " has no parent to measure it against";
    return false;
}

bool GitTrees::checkout(int slot, const std::string& hash, std::string& error) {
    Slot& s = slots_[slot];
    if (s.path.empty()) {
        s.path = temporary_ + "/confirm";
        const Captured added = git(repository_, {"worktree", "add", "--detach", "-q", s.path, hash});
        if (!added.ok()) {
            s.path.clear();
            error = "cannot make a second worktree: " + (added.error.empty() ? firstLines(added.errors, 3) : added.error);
            return false;
        }
        return true;
    }
    const Captured run = git(s.path, {"checkout", "-q", "-f", "--detach", hash});
    if (run.ok()) return true;
    error = "cannot check out " + hash.substr(0, 12) + ": " + (run.error.empty() ? firstLines(run.errors, 3) : run.error);
    return false;
}

Tree GitTrees::tree(const Revision& revision, int slot, const std::string& logPath) {
    Tree out;
    slot = slot == 0 ? 0 : 1;
    out.path = slots_[0].path.empty() ? "" : (slot == 0 ? slots_[0].path : temporary_ + "/confirm");
    if (slots_[slot].built == revision.id && !revision.id.empty()) {
        out.ready = true;
        return out;
    }
    slots_[slot].built.clear();
    if (!checkout(slot, revision.id, out.error)) return out;
    if (!runBuild(build_, out.path, logPath, stop_, out.error)) {
        out.buildFailed = out.error != "stopped";
        return out;
    }
    slots_[slot].built = revision.id;
    out.ready = true;
    return out;
}

void GitTrees::close() {
    for (Slot& slot : slots_) {
        if (slot.path.empty()) continue;
        git(repository_, {"worktree", "remove", "--force", slot.path});
        slot.path.clear();
    }
    if (temporary_.empty()) return;
    std::error_code ignored;
    fs::remove_all(temporary_, ignored);
    temporary_.clear();
    // Whatever git still keeps of a worktree that is gone.
    git(repository_, {"worktree", "prune"});
}

}  // namespace

std::unique_ptr<RevisionTrees> openGitTrees(const std::string& repository, const std::string& good,
                                            const std::string& bad, const std::string& build, StopAsked stop,
                                            OpenError& error) {
    auto trees = std::make_unique<GitTrees>(repository, build, std::move(stop));
    if (!trees->open(good, bad, error)) return nullptr;
    return trees;
}

namespace {

// Folder names of builds: their place in the list and the directory's own
// name, cut to what any file system takes.
std::string buildFolder(size_t index, const std::string& directory) {
    std::string name = fs::path(directory).lexically_normal().filename().string();
    if (name.empty() || name == "." || name == "..") name = "build";
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';
    char number[16];
    snprintf(number, sizeof number, "%03zu", index + 1);
    return "build-" + std::string(number) + "-" + name.substr(0, 60);
}

class BuildList : public RevisionTrees {
public:
    explicit BuildList(std::vector<Revision> builds) : builds_(std::move(builds)), search_(builds_.size()) {}

    const Revision& good() const override { return builds_.front(); }
    const Revision& bad() const override { return builds_.back(); }
    SearchState start() override { return state(); }
    SearchState mark(const Revision& revision, Mark mark) override {
        search_.mark(indexOf(revision), mark);
        return state();
    }
    bool parentOf(const Revision& culprit, Revision& parent, std::string& error) override {
        const size_t index = indexOf(culprit);
        if (index == 0 || index >= builds_.size()) {
            error = culprit.name + " has no build before it in the list";
            return false;
        }
        parent = builds_[index - 1];
        return true;
    }
    Tree tree(const Revision& revision, int, const std::string&) override { return Tree{true, false, revision.id, ""}; }

private:
    size_t indexOf(const Revision& revision) const {
        for (size_t i = 0; i < builds_.size(); ++i)
            if (builds_[i].id == revision.id) return i;
        return builds_.size();
    }
    SearchState state() const {
        SearchState out;
        if (const std::optional<size_t> next = search_.next()) {
            out.kind = SearchState::Kind::test;
            out.revision = builds_[*next];
            out.stepsLeft = search_.stepsLeft();
            return out;
        }
        const std::vector<size_t> candidates = search_.candidates();
        out.kind = candidates.size() == 1 ? SearchState::Kind::found : SearchState::Kind::ambiguous;
        if (candidates.size() == 1) out.revision = builds_[candidates.front()];
        else
            for (size_t index : candidates) out.candidates.push_back(builds_[index]);
        return out;
    }

    std::vector<Revision> builds_;
    ListBisection search_;
};

}  // namespace

std::unique_ptr<RevisionTrees> openBuildList(const std::string& listFile, OpenError& error) {
    std::ifstream in(listFile);
    if (!in) {
        error.text = "cannot read the list of builds " + displayText(listFile) + ": " + strerror(errno);
        error.given = true;
        return nullptr;
    }
    const fs::path base = fs::absolute(listFile).parent_path();
    std::vector<Revision> builds;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const fs::path directory = (base / line).lexically_normal();
        std::error_code failed;
        if (!fs::is_directory(directory, failed)) {
            error.text = displayText(listFile) + ", line " + std::to_string(number) + ": " + displayText(directory.string()) +
                    " is not a directory";
            error.given = true;
            return nullptr;
        }
        const std::string folder = buildFolder(builds.size(), directory.string());
        builds.push_back(Revision{directory.string(), "#" + std::to_string(builds.size() + 1) + " " +
                                                          displayText(directory.filename().string()),
                                  folder, "", ""});
    }
    if (builds.size() < 2) {
        error.text = displayText(listFile) + " lists " + std::to_string(builds.size()) +
                " build(s): a bisection needs a good one and a bad one at least";
        error.given = true;
        return nullptr;
    }
    return std::make_unique<BuildList>(std::move(builds));
}
