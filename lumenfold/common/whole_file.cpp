#include "common/whole_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool writeWholeFile(const std::string& path, const std::string& content, std::string& error) {
    const std::string temporary = path + ".partial";
    FILE* out = fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        error = "cannot create " + temporary + ": " + strerror(errno);
        return false;
    }
    const bool written = fwrite(content.data(), 1, content.size(), out) == content.size();
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
