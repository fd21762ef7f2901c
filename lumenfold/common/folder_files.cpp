#include "common/folder_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

bool writeFile(const fs::path& path, const std::string& content, std::string& error) {
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) {
        error = "cannot create " + path.string() + ": " + strerror(errno);
        return false;
    }
    const bool written = fwrite(content.data(), 1, content.size(), out) == content.size();
    const int writeErrno = errno;
    if (fclose(out) != 0 || !written) {
        error = "cannot write " + path.string() + ": " + strerror(written ? errno : writeErrno);
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
        if (!writeFile(staged / path, content, error)) return false;
    }
    return true;
}

}  // namespace

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
