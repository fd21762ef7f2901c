#include "common/files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

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

// The bytes into a new file of that name, whole or with error set.
bool writeBytes(const std::string& path, const std::string& content, std::string& error) {
    FILE* out = fopen(path.c_str(), "wb");
    if (out == nullptr) {
        error = "cannot create " + path + ": " + strerror(errno);
        return false;
    }
    const bool written = fwrite(content.data(), 1, content.size(), out) == content.size();
    const int writeErrno = errno;
    if (fclose(out) != 0 || !written) {
        error = "cannot write " + path + ": " + strerror(written ? errno : writeErrno);
        return false;
    }
    return true;
}

bool safeRelative(const std::string& path) {
    const fs::path p(path);
    if (path.empty() || p.is_absolute()) return false;
    for (const fs::path& part : p)
        if (part == ".." || part == ".") return false;
    return true;
}

// Moves staged/name to folder/name: swapped with what is there, so the name
// never points at nothing, and the old entry left in staged to be removed.
bool moveIntoPlace(const fs::path& staged, const fs::path& folder, const std::string& name, std::string& error) {
    const fs::path from = staged / name, to = folder / name;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) return true;
    if (errno == ENOENT && rename(from.c_str(), to.c_str()) == 0) return true;
    error = "cannot move " + from.string() + " to " + to.string() + ": " + strerror(errno);
    return false;
}

bool stage(const fs::path& staged, const std::vector<std::pair<std::string, std::string>>& files,
           std::vector<std::string>& entries, std::string& error) {
    std::set<std::string> seen;
    for (const auto& [path, content] : files) {
        if (!safeRelative(path)) {
            error = "refused to write \"" + path + "\": not a path inside the folder";
            return false;
        }
        const std::string top = fs::path(path).begin()->string();
        if (seen.insert(top).second) entries.push_back(top);
        std::error_code made;
        fs::create_directories((staged / path).parent_path(), made);
        if (made) {
            error = "cannot create " + (staged / path).parent_path().string() + ": " + made.message();
            return false;
        }
        if (!writeBytes((staged / path).string(), content, error)) return false;
    }
    return true;
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
    if (!writeBytes(temporary, content, error)) {
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

bool writeFolderFiles(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& files,
                      std::string& error) {
    std::string pattern = (fs::path(folder) / ".lumenfold-partial-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        error = "cannot create a folder in " + folder + ": " + strerror(errno);
        return false;
    }
    const fs::path staged(pattern);
    std::vector<std::string> entries;
    bool ok = stage(staged, files, entries, error);
    for (size_t i = 0; ok && i < entries.size(); ++i) ok = moveIntoPlace(staged, folder, entries[i], error);
    std::error_code ignored;
    fs::remove_all(staged, ignored);
    return ok;
}

bool nameWithoutReplacing(const std::string& from, const std::string& to, std::string& error) {
    if (link(from.c_str(), to.c_str()) != 0) {
        error = errno == EEXIST ? to + " is there already" : "cannot name it " + to + ": " + strerror(errno);
        return false;
    }
    unlink(from.c_str());
    return true;
}
