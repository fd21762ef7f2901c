#include "results.h"
#include "text_format.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

void formatResultsName(char* out, size_t capacity, const char* format, time_t when) {
    tm local{};
    localtime_r(&when, &local);
    // The format is one of the programs' own constant texts, never input.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    if (strftime(out, capacity, format, &local) == 0 && capacity > 0) out[0] = '\0';
#pragma GCC diagnostic pop
}

void candidateResultsName(char* out, size_t capacity, const char* baseName, int attempt) {
    if (attempt <= 1) {
        snprintf(out, capacity, "%s", baseName);
        return;
    }
    const size_t length = strlen(baseName);
    const size_t suffix = strlen(resultsNameSuffix);
    size_t stem = length;
    if (length >= suffix && strcmp(baseName + length - suffix, resultsNameSuffix) == 0) stem = length - suffix;
    snprintf(out, capacity, "%.*s (%d)%s", int(stem), baseName, attempt, baseName + stem);
}

FILE* createResultsFile(const char* baseName, char* chosenName, size_t capacity) {
    // Far more than runs that can start in one second; the bound only keeps a
    // directory full of clashes from looping forever.
    const int maxAttempts = 10000;
    for (int attempt = 1; attempt <= maxAttempts; ++attempt) {
        candidateResultsName(chosenName, capacity, baseName, attempt);
        int fd = open(chosenName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            FILE* file = fdopen(fd, "w");
            if (file == nullptr) {
                int saved = errno;
                close(fd);
                unlink(chosenName);
                errno = saved;
            }
            return file;
        }
        if (errno != EEXIST) return nullptr;
    }
    candidateResultsName(chosenName, capacity, baseName, 1);
    errno = EEXIST;
    return nullptr;
}

std::string resultsPathFor(const char* directory, const char* fileName) {
    if (directory == nullptr) return fileName;
    std::string path = directory;
    if (path.empty() || path.back() != '/') path += '/';
    return path + fileName;
}
