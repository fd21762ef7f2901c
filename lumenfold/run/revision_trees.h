// The trees a bisection measures: revisions of a git repository, each
// checked out and built in a worktree of lumenfold's own, or an ordered list
// of trees built beforehand. Which revision comes next is git bisect's
// choice for a repository, and a halving of the list for builds.
//
// The user's working tree, index and HEAD are never touched: the worktrees
// live in a temporary folder, git bisect runs inside them (its state is the
// worktree's own), and they are removed when the trees are closed, which
// their destructor does whatever way the command ends.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analysis/bisect_judgement.h"

struct Revision {
    std::string id;        // the full commit hash; for builds, the tree's directory
    std::string name;      // for people: the short hash, or "#3 nightly-0501"
    std::string folder;    // the folder its runs are kept in, under the bisection's directory
    std::string subject;   // the commit's subject; empty for builds
    std::string date;      // the commit's author date, ISO 8601; empty for builds
};

// Where the search stands after a start or a mark.
struct SearchState {
    enum class Kind { test, found, ambiguous, failed };
    Kind kind = Kind::failed;
    Revision revision;                 // test: the one to measure; found: the first bad commit
    std::vector<Revision> candidates;  // ambiguous: the first bad is one of these (skipped ones between)
    int stepsLeft = 0;                 // test: roughly how many more after this one
    std::string error;                 // failed: why, for people
};

// A tree ready to run a program on.
struct Tree {
    bool ready = false;
    bool buildFailed = false;   // not ready because the build failed: skip the revision
    std::string path;
    std::string error;          // when not ready
};

// Called while a build runs: true when the user asked lumenfold to stop.
using StopAsked = std::function<bool()>;

class RevisionTrees {
public:
    virtual ~RevisionTrees() = default;
    virtual const Revision& good() const = 0;
    virtual const Revision& bad() const = 0;
    virtual SearchState start() = 0;
    // The revision the search asked for: good, bad, or (undecided) skipped.
    virtual SearchState mark(const Revision& revision, Mark mark) = 0;
    // The revision the culprit changed: its first parent, or the build before it.
    virtual bool parentOf(const Revision& culprit, Revision& parent, std::string& error) = 0;
    // A tree holding the revision, built if need be, in one of two slots, so
    // that two revisions can be measured by turns; the build's output goes
    // to logPath.
    virtual Tree tree(const Revision& revision, int slot, const std::string& logPath) = 0;
};

// Why trees could not be had.
struct OpenError {
    std::string text;     // for people
    bool given = false;   // the fault is in what was given (a repository, a revision, a list), not the machine
};

// Revisions of a repository between two commits, built by a shell command
// run in the worktree ("{tree}" in it stands for the worktree's path).
// Nothing, with error set, when the repository or a revision cannot be had
// or no worktree can be made.
std::unique_ptr<RevisionTrees> openGitTrees(const std::string& repository, const std::string& good,
                                            const std::string& bad, const std::string& build, StopAsked stop,
                                            OpenError& error);

// Trees listed one directory a line, oldest (good) first, newest (bad)
// last; blank lines and lines starting with # are left out, and a relative
// directory is taken from the list's own folder.
std::unique_ptr<RevisionTrees> openBuildList(const std::string& listFile, OpenError& error);

// The halving of an ordered list of builds: the first known good, the last
// known bad, and what was skipped. Pure.
class ListBisection {
public:
    explicit ListBisection(size_t count);
    // The index to test next: the untested one nearest the middle of what is
    // left; none once only skipped builds lie between the good and the bad.
    std::optional<size_t> next() const;
    void mark(size_t index, Mark mark);
    // When next() has nothing: the builds the first bad one can be, in order
    // (the last bad one alone unless skipped ones lie before it).
    std::vector<size_t> candidates() const;
    // Roughly how many more tests after the next one.
    int stepsLeft() const;

private:
    size_t good_ = 0;
    size_t bad_ = 0;
    std::set<size_t> skipped_;
};

// What git bisect printed after a start or a mark, read. The revision is
// given by its full hash alone; the caller fills in the rest.
SearchState readBisectOutput(const std::string& output, int exitStatus);

// "{tree}" replaced by the path, every time it occurs.
std::string withTree(const std::string& text, const std::string& path);
