#include "common/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* fileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a file";
}

FileText failed(const std::string& error) {
    FileText out;
    out.error = error;
    return out;
}

FileText notRegular(mode_t mode) { return failed(std::string("not a regular file (") + fileKind(mode) + ")"); }

FileText tooLarge(long long maxBytes) {
    FileText out = failed("larger than " + std::to_string(maxBytes) + " bytes; not read");
    out.tooLarge = true;
    return out;
}

FileText cannot(const char* what, int error) {
    FileText out = failed(std::string("cannot ") + what + " the file: " + strerror(error));
    out.missing = error == ENOENT;
    return out;
}

// Reads the open file to its end, never past maxBytes.
FileText readOpenFile(int fd, long long size, long long maxBytes) {
    FileText out;
    out.text.reserve(size_t(size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return cannot("read", errno);
        }
        if (got == 0) return out;
        if ((long long)(out.text.size()) + got > maxBytes) return tooLarge(maxBytes);
        out.text.append(buffer, size_t(got));
    }
}

}  // namespace

FileText readRegularFile(const std::string& path, long long maxBytes) {
    // Looked at before opening: opening a named pipe for reading would wait
    // for a writer, and opening a device can have effects of its own.
    struct stat info{};
    if (stat(path.c_str(), &info) != 0) return cannot("open", errno);
    if (!S_ISREG(info.st_mode)) return notRegular(info.st_mode);
    if (info.st_size > maxBytes) return tooLarge(maxBytes);
    // The name may have been swapped for something else since; O_NONBLOCK keeps
    // even that from blocking, and fstat checks what was really opened.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return cannot("open", errno);
    FileText out = fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ? notRegular(info.st_mode)
                                                                   : readOpenFile(fd, info.st_size, maxBytes);
    close(fd);
    return out;
}

bool writeWholeFile(const std::string& path, const std::string& content, std::string& error) {
    const std::string temporary = path + ".partial";
    FILE* out = fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        error = "cannot create " + temporary + ": " + strerror(errno);
        return false;
    }
    // On the disk before the rename, so that a crash leaves the old file or
    // the new one, never an empty one under the final name.
    bool written = fwrite(content.data(), 1, content.size(), out) == content.size() && fflush(out) == 0 &&
                   fsync(fileno(out)) == 0;
    const int writeErrno = errno;
    if (fclose(out) != 0 || !written) {
        error = "cannot write " + temporary + ": " + strerror(written ? errno : writeErrno);
        remove(temporary.c_str());
        return false;
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot move " + temporary + " to " + path + ": " + strerror(errno);
        remove(temporary.c_str());
        return false;
    }
    return true;
}
