// One file of /sys or /proc kept open between readings and read again from
// its start each time, and the numbers in it read without allocating.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

class KernelFile {
public:
    KernelFile() = default;
    // reopen: after a failed reading, open the path again next time (a
    // sensor that comes back); false for files of one process, whose id may
    // be someone else's once it has gone.
    explicit KernelFile(std::string path, bool reopen = true) : path_(std::move(path)), reopen_(reopen) {}
    ~KernelFile();
    KernelFile(KernelFile&& other) noexcept;
    KernelFile& operator=(KernelFile&& other) noexcept;
    KernelFile(const KernelFile&) = delete;
    KernelFile& operator=(const KernelFile&) = delete;

    // The file's text from its start into buffer (at most capacity bytes);
    // the length, or -1 with error set to an errno value.
    ssize_t read(char* buffer, size_t capacity, int& error);
    const std::string& path() const { return path_; }

private:
    bool open(int& error);
    void close();

    std::string path_;
    int fd_ = -1;
    bool reopen_ = true;
    bool gone_ = false;
    int goneError_ = 0;
    // Files of /sys and /proc say they are gone by failing to read; any
    // other file (a test's tree) keeps its old text after being removed or
    // replaced, so its links are counted at each reading.
    bool countLinks_ = false;
};

// An error code of our own beside errno's: the text holds no number.
inline constexpr int notANumber = -1;

// Text for an error from KernelFile::read or a parse (notANumber).
std::string readErrorText(int error);

// The first number in text (spaces before and after it allowed, nothing
// else); false when there is none.
bool parseNumber(const char* begin, const char* end, double& value);
// Skips spaces and reads one unsigned integer; false when there is none.
bool parseUnsigned(const char*& p, const char* end, uint64_t& value);
// The text is one unsigned integer, spaces around it allowed.
bool parseCount(const char* begin, const char* end, uint64_t& value);

// Reads a small file whole with the path it is given; false with the errno
// text (or "holds no number") when it cannot. For discovery, not sampling.
bool readText(const std::string& path, std::string& text, std::string& error);
std::string firstLine(const std::string& path);
bool isDirectory(const std::string& path);
bool exists(const std::string& path);
