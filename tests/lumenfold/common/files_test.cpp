#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "common/files.h"

namespace fs = std::filesystem;

namespace {

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumenfold-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const std::string& text) {
        const std::string path = dir + "/" + name;
        std::string error;
        EXPECT_TRUE(writeWholeFile(path, text, error)) << error;
        return path;
    }

    std::string dir;
};

// A pipe with no writer, an endless device, a directory: each refused at
// once, without reading; a file over the limit refused as too large.
TEST_F(Files, OnlyRegularFilesOfBoundedSizeAreRead) {
    const std::string fifo = dir + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = write("big", std::string(1001, 'x'));
    const struct {
        std::string path;
        std::string error;
    } refused[] = {{fifo, "not a regular file (a named pipe)"},
                   {"/dev/zero", "not a regular file (a character device)"},
                   {dir, "not a regular file (a directory)"},
                   {big, "larger than 1000 bytes; not read"},
                   {dir + "/missing", "cannot open the file: No such file or directory"}};
    for (const auto& bad : refused) {
        const FileText read = readRegularFile(bad.path, 1000);
        EXPECT_EQ(read.error, bad.error) << bad.path;
        EXPECT_TRUE(read.text.empty()) << bad.path;
        EXPECT_EQ(read.missing, bad.path == dir + "/missing") << bad.path;
        EXPECT_EQ(read.tooLarge, bad.path == big) << bad.path;
    }
    const FileText whole = readRegularFile(big, 1001);
    EXPECT_TRUE(whole.ok());
    EXPECT_EQ(whole.text, std::string(1001, 'x'));
}

// /proc shows its files as empty: they are read to their end all the same,
// and the limit still holds.
TEST_F(Files, FilesThatShowNoSizeAreReadToTheLimit) {
    const FileText status = readRegularFile("/proc/self/status", 1 << 20);
    ASSERT_TRUE(status.ok()) << status.error;
    EXPECT_NE(status.text.find("Pid:"), std::string::npos);
    EXPECT_TRUE(readRegularFile("/proc/self/status", 16).tooLarge);
}

TEST_F(Files, AFileIsReplacedWholeOrNotAtAll) {
    const std::string path = write("page.html", "old");
    std::string error;
    ASSERT_TRUE(writeWholeFile(path, "new page", error)) << error;
    EXPECT_EQ(readRegularFile(path, 100).text, "new page");
    EXPECT_FALSE(fs::exists(path + ".partial"));

    // Where the new file cannot be moved into place, the old one stays and
    // nothing is left beside it.
    const std::string blocked = dir + "/blocked";
    fs::create_directories(blocked + "/inside");
    EXPECT_FALSE(writeWholeFile(blocked, "text", error));
    EXPECT_NE(error.find("cannot move"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(blocked + "/inside"));
    EXPECT_FALSE(fs::exists(blocked + ".partial"));

    EXPECT_FALSE(writeWholeFile(dir + "/no/such/dir/file", "text", error));
    EXPECT_NE(error.find("cannot create " + dir + "/no/such/dir/file.partial"), std::string::npos) << error;
}

// A site is replaced entry by entry; a path that would leave the folder is
// refused before anything moves, and nothing staged is left behind.
TEST_F(Files, AFolderOfFilesIsReplacedEntryByEntry) {
    std::string error;
    ASSERT_TRUE(writeFolderFiles(dir, {{"series/a.html", "a1"}, {"index.html", "i1"}}, error)) << error;
    ASSERT_TRUE(writeFolderFiles(dir, {{"series/b.html", "b2"}, {"index.html", "i2"}}, error)) << error;
    EXPECT_EQ(readRegularFile(dir + "/index.html", 100).text, "i2");
    EXPECT_EQ(readRegularFile(dir + "/series/b.html", 100).text, "b2");
    EXPECT_FALSE(fs::exists(dir + "/series/a.html"));   // the folder was swapped whole

    EXPECT_FALSE(writeFolderFiles(dir, {{"index.html", "i3"}, {"../outside.html", "x"}}, error));
    EXPECT_NE(error.find("not a path inside the folder"), std::string::npos) << error;
    EXPECT_EQ(readRegularFile(dir + "/index.html", 100).text, "i2");
    EXPECT_FALSE(fs::exists(fs::path(dir).parent_path() / "outside.html"));
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find(".lumenfold-partial"), std::string::npos) << entry.path();
}

// A file moved beside another keeps its bytes; one already under the name
// is never replaced, and the file moved stays where it was.
TEST_F(Files, NamingNeverReplacesAFileThere) {
    const std::string from = write("run.timing.tmp", "mine"), taken = write("taken", "theirs");
    std::string error;
    EXPECT_FALSE(nameWithoutReplacing(from, taken, error));
    EXPECT_EQ(error, taken + " is there already");
    EXPECT_EQ(readRegularFile(taken, 100).text, "theirs");
    EXPECT_TRUE(nameWithoutReplacing(from, dir + "/run.timing", error)) << error;
    EXPECT_EQ(readRegularFile(dir + "/run.timing", 100).text, "mine");
    EXPECT_FALSE(fs::exists(from));
    EXPECT_FALSE(nameWithoutReplacing(from, dir + "/again", error));
}

}  // namespace
