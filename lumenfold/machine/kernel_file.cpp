#include "machine/kernel_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

KernelFile::~KernelFile() { close(); }

KernelFile::KernelFile(KernelFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(other.fd_), reopen_(other.reopen_), gone_(other.gone_),
      goneError_(other.goneError_), countLinks_(other.countLinks_) {
    other.fd_ = -1;
}

KernelFile& KernelFile::operator=(KernelFile&& other) noexcept {
    if (this != &other) {
        close();
        path_ = std::move(other.path_);
        fd_ = other.fd_;
        reopen_ = other.reopen_;
        gone_ = other.gone_;
        goneError_ = other.goneError_;
        countLinks_ = other.countLinks_;
        other.fd_ = -1;
    }
    return *this;
}

void KernelFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool KernelFile::open(int& error) {
    if (gone_) {
        error = goneError_;
        return false;
    }
    // O_NONBLOCK: a FIFO in a sensor's place must not stop the sampler.
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) {
        error = errno;
        return false;
    }
    struct statfs where{};
    countLinks_ = fstatfs(fd_, &where) != 0 || (where.f_type != SYSFS_MAGIC && where.f_type != PROC_SUPER_MAGIC);
    return true;
}

ssize_t KernelFile::read(char* buffer, size_t capacity, int& error) {
    if (fd_ < 0 && !open(error)) return -1;
    if (countLinks_) {
        struct stat info{};
        if (fstat(fd_, &info) == 0 && info.st_nlink == 0) {
            close();
            if (!reopen_) {
                gone_ = true;
                goneError_ = ENOENT;
            }
            if (!open(error)) return -1;
        }
    }
    // One reading gives the whole text: the kernel's files fill all that is
    // asked of them, and a regular file comes short only at its end.
    ssize_t got;
    do got = pread(fd_, buffer, capacity, 0);
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        error = errno;
        close();
        if (!reopen_) {
            gone_ = true;
            goneError_ = error;
        }
    }
    return got;
}

std::string readErrorText(int error) { return error == notANumber ? "holds no number" : std::strerror(error); }

static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool parseNumber(const char* begin, const char* end, double& value) {
    while (begin < end && isSpace(*begin)) ++begin;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop == begin) return false;
    for (const char* p = stop; p < end; ++p)
        if (!isSpace(*p)) return false;
    return true;
}

bool parseUnsigned(const char*& p, const char* end, uint64_t& value) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    const auto [stop, error] = std::from_chars(p, end, value);
    if (error != std::errc() || stop == p) return false;
    p = stop;
    return true;
}

bool parseCount(const char* begin, const char* end, uint64_t& value) {
    if (!parseUnsigned(begin, end, value)) return false;
    for (; begin < end; ++begin)
        if (!isSpace(*begin)) return false;
    return true;
}

bool readText(const std::string& path, std::string& text, std::string& error) {
    KernelFile file(path);
    text.assign(4096, '\0');
    int code = 0;
    for (;;) {
        const ssize_t got = file.read(text.data(), text.size(), code);
        if (got < 0) {
            error = path + ": " + readErrorText(code);
            return false;
        }
        if (size_t(got) < text.size()) {
            text.resize(size_t(got));
            return true;
        }
        if (text.size() >= (64u << 20)) {
            error = path + ": larger than any file of its kind";
            return false;
        }
        text.resize(text.size() * 4);
    }
}

std::string firstLine(const std::string& path) {
    std::string text, error;
    if (!readText(path, text, error)) return {};
    text.resize(std::min(text.find('\n'), text.size()));
    return text;
}

bool isDirectory(const std::string& path) {
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool exists(const std::string& path) {
    struct stat info{};
    return stat(path.c_str(), &info) == 0;
}
