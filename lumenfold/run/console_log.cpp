#include "run/console_log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "text_format.h"

namespace {

int logsOpened = 0;

}  // namespace

ConsoleLog::~ConsoleLog() {
    if (file_ != nullptr) fclose(file_);
}

bool ConsoleLog::open(const std::string& directory, const std::string& program, std::string& error) {
    const std::string stem = directory + "/lumenfold-console-" + program + "-" + std::to_string(getpid()) + "-";
    for (int attempt = 0; attempt < 1000 && file_ == nullptr; ++attempt) {
        path_ = stem + std::to_string(++logsOpened) + ".log";
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0 || (file_ = fdopen(fd, "w")) == nullptr) {
            error = "cannot create the console log " + path_ + ": " + strerror(errno);
            if (fd >= 0) close(fd);
            return false;
        }
    }
    if (file_ == nullptr) error = "cannot find a free name for the console log in " + directory;
    // Line by line, so that a failed write is known at the line it loses.
    if (file_ != nullptr) setvbuf(file_, nullptr, _IOLBF, 0);
    writeError_ = 0;
    return file_ != nullptr;
}

bool ConsoleLog::line(const std::string& text) {
    if (file_ == nullptr || writeError_ != 0) return false;
    errno = 0;
    if (fwrite(text.data(), 1, text.size(), file_) != text.size() || fputc('\n', file_) == EOF)
        writeError_ = errno != 0 ? errno : EIO;
    return writeError_ == 0;
}

std::string ConsoleLog::finish(const std::string& resultsPath, std::string& error) {
    error.clear();
    if (file_ == nullptr) return "";
    const bool lostLines = writeError_ != 0;
    errno = 0;
    if (fclose(file_) != 0 && writeError_ == 0) writeError_ = errno != 0 ? errno : EIO;
    file_ = nullptr;
    if (writeError_ != 0)
        error = "writing the console log " + path_ + " failed: " + strerror(writeError_) +
                (lostLines ? "; the rest was shown here" : "");
    if (resultsPath.empty()) return path_;
    const std::string final = logPathFor(resultsPath);
    // link() never replaces a file that is already there, where rename() would.
    if (link(path_.c_str(), final.c_str()) != 0) {
        const std::string why = "cannot name the console log " + final + ": " + strerror(errno) + "; it stays at " +
                                path_;
        error = error.empty() ? why : error + "; " + why;
        return path_;
    }
    unlink(path_.c_str());
    return final;
}

void ConsoleLog::discard() {
    if (file_ == nullptr) return;
    fclose(file_);
    file_ = nullptr;
    unlink(path_.c_str());
}

std::string logPathFor(const std::string& resultsPath) {
    const std::string suffix = resultsNameSuffix;
    if (resultsPath.size() > suffix.size() && resultsPath.ends_with(suffix))
        return resultsPath.substr(0, resultsPath.size() - suffix.size()) + ".log";
    return resultsPath + ".log";
}
