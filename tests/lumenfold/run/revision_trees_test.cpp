#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "run/revision_trees.h"

namespace fs = std::filesystem;

namespace {

TEST(ListBisection, HalvesTheListAndStepsPastSkippedBuilds) {
    ListBisection search(9);   // 0 good, 8 bad
    ASSERT_EQ(search.next(), 4u);
    EXPECT_EQ(search.stepsLeft(), 2);
    search.mark(4, Mark::good);
    ASSERT_EQ(search.next(), 6u);
    search.mark(6, Mark::undecided);
    // The nearest untested one instead, the lower side first.
    ASSERT_EQ(search.next(), 5u);
    search.mark(5, Mark::good);
    ASSERT_EQ(search.next(), 7u);
    search.mark(7, Mark::bad);
    // Only the skipped one lies between good 5 and bad 7: it could be either.
    EXPECT_FALSE(search.next());
    EXPECT_EQ(search.candidates(), (std::vector<size_t>{6, 7}));

    ListBisection two(2);
    EXPECT_FALSE(two.next());
    EXPECT_EQ(two.candidates(), std::vector<size_t>{1});
    // Marks outside what is left change nothing.
    two.mark(0, Mark::bad);
    EXPECT_EQ(two.candidates(), std::vector<size_t>{1});
}

TEST(RevisionTrees, GitBisectOutputIsRead) {
    const std::string next = "Bisecting: 3 revisions left to test after this (roughly 2 steps)\n"
                             "[d96a54587dcd16b04c1a322c0847a2fe53ff2731] c4\n";
    SearchState state = readBisectOutput(next, 0);
    EXPECT_EQ(state.kind, SearchState::Kind::test);
    EXPECT_EQ(state.revision.id, "d96a54587dcd16b04c1a322c0847a2fe53ff2731");
    EXPECT_EQ(state.stepsLeft, 2);

    state = readBisectOutput("d96a54587dcd16b04c1a322c0847a2fe53ff2731 is the first bad commit\ncommit d96a5...\n", 0);
    EXPECT_EQ(state.kind, SearchState::Kind::found);
    EXPECT_EQ(state.revision.id, "d96a54587dcd16b04c1a322c0847a2fe53ff2731");

    state = readBisectOutput("There are only 'skip'ped commits left to test.\nThe first bad commit could be any of:\n"
                             "d96a54587dcd16b04c1a322c0847a2fe53ff2731\n0836e5957fe037d33b20e62b4274d498c6a024de\n"
                             "We cannot bisect more!\n",
                             2);
    EXPECT_EQ(state.kind, SearchState::Kind::ambiguous);
    EXPECT_EQ(state.candidates.size(), 2u);

    state = readBisectOutput("Some good revs are not ancestors of the bad rev.\n", 1);
    EXPECT_EQ(state.kind, SearchState::Kind::failed);
    EXPECT_NE(state.error.find("not ancestors"), std::string::npos);

    EXPECT_EQ(withTree("cc -o {tree}/a.so {tree}/a.c", "/t"), "cc -o /t/a.so /t/a.c");
}

// A repository of five commits whose file says "good", "broken" (which does
// not build), "good", then "bad" twice.
class GitTreesTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumenfold-trees-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        repo_ = root_ + "/repo";
        git("init -q -b main " + repo_);
        git("-C " + repo_ + " config user.email t@example.com");
        git("-C " + repo_ + " config user.name T");
        for (const char* state : {"good", "broken", "good", "bad", "bad"}) {
            std::ofstream(repo_ + "/state") << state << "\n";
            git("-C " + repo_ + " add state");
            git("-C " + repo_ + " commit -q --allow-empty -m " + std::string(state));
        }
        // Something of the user's in their tree: it must stay as it is.
        std::ofstream(repo_ + "/state") << "edited by the user\n";
        statusBefore_ = output("git -C " + repo_ + " status --porcelain; git -C " + repo_ + " rev-parse HEAD");
    }
    void TearDown() override { fs::remove_all(root_); }

    static void git(const std::string& arguments) {
        ASSERT_EQ(std::system(("git " + arguments + " >/dev/null 2>&1").c_str()), 0) << arguments;
    }
    static std::string output(const std::string& command) {
        std::string out;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[256];
        while (pipe != nullptr && fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        if (pipe != nullptr) pclose(pipe);
        return out;
    }
    std::string worktrees() const { return output("git -C " + repo_ + " worktree list --porcelain | grep -c '^worktree'"); }

    std::string root_, repo_, statusBefore_;
};

// The build fails on "broken", and leaves the state beside it otherwise.
const std::string build = "grep -q broken {tree}/state && exit 1; cp {tree}/state {tree}/built";

TEST_F(GitTreesTest, BisectsInAWorktreeOfItsOwnAndLeavesTheUsersTreeAsItWas) {
    std::string treePath;
    {
        OpenError error;
        std::unique_ptr<RevisionTrees> trees = openGitTrees(repo_, "main~4", "main", build, nullptr, error);
        ASSERT_TRUE(trees) << error.text;
        EXPECT_EQ(trees->good().subject, "good");
        EXPECT_EQ(worktrees(), "2\n");
        SearchState state = trees->start();
        int steps = 0;
        while (state.kind == SearchState::Kind::test && ++steps < 10) {
            const Tree tree = trees->tree(state.revision, 0, root_ + "/build.log");
            treePath = tree.path;
            ASSERT_TRUE(tree.ready) << tree.error;
            std::ifstream built(tree.path + "/built");
            std::string text;
            std::getline(built, text);
            state = trees->mark(state.revision, text == "good" ? Mark::good : Mark::bad);
        }
        ASSERT_EQ(state.kind, SearchState::Kind::found) << state.error;
        EXPECT_EQ(state.revision.subject, "bad");
        Revision parent;
        std::string why;
        ASSERT_TRUE(trees->parentOf(state.revision, parent, why));
        EXPECT_EQ(parent.subject, "good");
        // Another revision beside it, in a second worktree: one that does not build.
        const Revision broken{output("git -C " + repo_ + " rev-parse main~3").substr(0, 40), "", "", "", ""};
        const Tree failed = trees->tree(broken, 1, root_ + "/build.log");
        EXPECT_TRUE(failed.buildFailed);
        EXPECT_NE(failed.error.find("exited with status 1"), std::string::npos) << failed.error;
        EXPECT_EQ(worktrees(), "3\n");
        EXPECT_TRUE(trees->tree(trees->good(), 1, root_ + "/build.log").ready);
        EXPECT_TRUE(fs::exists(treePath));
        // The user's repository knows of no bisection going on.
        EXPECT_EQ(output("git -C " + repo_ + " bisect log 2>&1 | head -1"), "error: We are not bisecting.\n");
    }
    EXPECT_FALSE(fs::exists(treePath));
    EXPECT_FALSE(fs::exists(fs::path(treePath).parent_path()));
    EXPECT_EQ(worktrees(), "1\n");
    EXPECT_EQ(output("git -C " + repo_ + " status --porcelain; git -C " + repo_ + " rev-parse HEAD"), statusBefore_);
}

TEST_F(GitTreesTest, WhatCannotBeHadIsSaidAndABuildIsStoppedWhenAsked) {
    OpenError error;
    EXPECT_FALSE(openGitTrees(repo_, "no-such-revision", "main", build, nullptr, error));
    EXPECT_TRUE(error.given);
    EXPECT_NE(error.text.find("no-such-revision"), std::string::npos);
    EXPECT_FALSE(openGitTrees(root_, "main~1", "main", build, nullptr, error));
    EXPECT_NE(error.text.find("not a git repository"), std::string::npos);
    EXPECT_EQ(worktrees(), "1\n");

    bool stop = false;
    auto trees = openGitTrees(repo_, "main~4", "main", "sleep 30", [&stop] { return stop; }, error);
    ASSERT_TRUE(trees) << error.text;
    const auto started = std::chrono::steady_clock::now();
    // A stop asked before the build ends it at once: the build never holds up Ctrl-C.
    stop = true;
    const Tree tree = trees->tree(trees->bad(), 0, root_ + "/build.log");
    EXPECT_FALSE(tree.ready);
    EXPECT_FALSE(tree.buildFailed);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    trees.reset();
    EXPECT_EQ(worktrees(), "1\n");

    // A build that leaves something behind holding its output (a compiler
    // server, say) is done when its shell is, give or take a few seconds.
    trees = openGitTrees(repo_, "main~4", "main", "sleep 20 & echo built", nullptr, error);
    ASSERT_TRUE(trees) << error.text;
    const auto building = std::chrono::steady_clock::now();
    EXPECT_TRUE(trees->tree(trees->bad(), 0, root_ + "/build.log").ready);
    EXPECT_LT(std::chrono::steady_clock::now() - building, std::chrono::seconds(15));
}

TEST_F(GitTreesTest, AListOfBuildsIsReadFromItsOwnFolder) {
    for (const char* name : {"a", "b", "c"}) fs::create_directory(root_ + "/" + name);
    std::ofstream(root_ + "/builds.txt") << "# nightly builds\na\n\n" << root_ << "/b\nc\n";
    OpenError error;
    std::unique_ptr<RevisionTrees> builds = openBuildList(root_ + "/builds.txt", error);
    ASSERT_TRUE(builds) << error.text;
    EXPECT_EQ(builds->good().id, root_ + "/a");
    EXPECT_EQ(builds->bad().folder, "build-003-c");
    const SearchState state = builds->start();
    ASSERT_EQ(state.kind, SearchState::Kind::test);
    EXPECT_EQ(state.revision.id, root_ + "/b");
    EXPECT_EQ(builds->tree(state.revision, 1, "").path, root_ + "/b");
    EXPECT_EQ(builds->mark(state.revision, Mark::bad).revision.id, root_ + "/b");

    std::ofstream(root_ + "/missing.txt") << "a\nnot-there\n";
    EXPECT_FALSE(openBuildList(root_ + "/missing.txt", error));
    EXPECT_NE(error.text.find("line 2"), std::string::npos);
    EXPECT_TRUE(error.given);
    std::ofstream(root_ + "/one.txt") << "a\n";
    EXPECT_FALSE(openBuildList(root_ + "/one.txt", error));
}

}  // namespace
