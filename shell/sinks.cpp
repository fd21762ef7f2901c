#include "sinks.h"

#include <cerrno>
#include <cstring>
#include <stdio_ext.h>
#include <unistd.h>

#include "results.h"
#include "startup_order.h"

char* workingDirectory = nullptr;
FILE* resultsFile = nullptr;
char resultsFileName[1024];

namespace {

__attribute__((constructor(workingDirectoryPriority))) void captureWorkingDirectory() {
    workingDirectory = getcwd(nullptr, 0);
}

bool resultsCreated = false;
bool resultsWriteFailed = false;
// Bytes of the whole lines the results file has taken so far.
off_t resultsCommitted = 0;

void sayResultsWriteFailed(int reason) {
    resultsWriteFailed = true;
    fprintf(stderr, "%s%s%s%s%s\n", writeFailedLead, resultsFileName, writeFailedMiddle, strerror(reason),
            writeFailedTail);
}

// After a failed write: drops what is still buffered and cuts off a line
// that reached the disk only in part, so the file ends on a whole line.
void abandonResultsFile(int reason) {
    FILE* file = resultsFile;
    resultsFile = nullptr;
    sayResultsWriteFailed(reason);
    __fpurge(file);
    const int fd = fileno(file);
    if (fd >= 0 && ftruncate(fd, resultsCommitted) != 0) {
        // The file then keeps the part line; a reader of it names that.
    }
    fclose(file);
}

}  // namespace

void useResultsFile(FILE* file, const char* name) {
    if (name != resultsFileName) snprintf(resultsFileName, sizeof resultsFileName, "%s", name);
    resultsFile = file;
    resultsCreated = file != nullptr;
    resultsWriteFailed = false;
    resultsCommitted = 0;
}

void openResultsFile(const char* nameFormat, time_t when) {
    char baseName[sizeof resultsFileName];
    formatResultsName(baseName, sizeof baseName, nameFormat, when);
    FILE* file = createResultsFile(baseName, resultsFileName, sizeof resultsFileName);
    const int reason = errno;
    useResultsFile(file, resultsFileName);
    if (file == nullptr) {
        fprintf(stderr, "Cannot create the results file \"%s\": %s; results will not be saved.\n",
                resultsFileName, strerror(reason));
    }
}

void closeResultsFile() {
    if (resultsFile == nullptr) return;
    FILE* file = resultsFile;
    resultsFile = nullptr;
    errno = 0;
    if (fclose(file) != 0) sayResultsWriteFailed(errno != 0 ? errno : EIO);
}

void consoleLine(const char* line) { writeLineTo(stdout, line); }

void resultsLine(const char* line) {
    if (resultsFile == nullptr) return;
    errno = 0;
    if (!writeLineTo(resultsFile, line)) {
        // A stream can fail without saying why (a short write, for one).
        abandonResultsFile(errno != 0 ? errno : EIO);
        return;
    }
    resultsCommitted += off_t(strlen(line) + 1);
}

void reportLine(const char* line) {
    consoleLine(line);
    resultsLine(line);
}

void reportEmptyLine() { reportLine(""); }

void consoleWindowLine(WindowNumber windowNumber) {
    char line[reportLineCapacity];
    formatIntegerLine(line, windowLinePrefix, windowNumber());
    consoleLine(line);
}

void resultsWindowLine(WindowNumber windowNumber) {
    char line[reportLineCapacity];
    formatIntegerLine(line, windowLinePrefix, windowNumber());
    resultsLine(line);
}

void reportFrame(WindowNumber windowNumber, const char (*lines)[reportLineCapacity], int count) {
    consoleWindowLine(windowNumber);
    for (int i = 0; i < count; ++i) consoleLine(lines[i]);
    resultsWindowLine(windowNumber);
    for (int i = 0; i < count; ++i) resultsLine(lines[i]);
    consoleLine("");
    resultsLine("");
}

void printBanner(const ProgramText& text) {
    consoleLine("");
    consoleLine(text.title);
    consoleLine(noticeLine);
    consoleLine(supportLine);
    for (int i = 0; i < 4; ++i) consoleLine("");

    resultsLine(text.title);
    resultsLine("");
    resultsLine("");

    for (const char* line : text.helpLines) consoleLine(line);
    consoleLine("");
    consoleLine("");
    consoleLine(initializingLine);
    consoleLine("");
}

void reportSetupTime(double seconds) {
    char line[reportLineCapacity];
    formatNumberLine(line, setupLine, seconds);
    consoleLine(line);
    consoleLine("");
    consoleLine("");
    resultsLine(line);
    resultsLine("");
    resultsLine("");
}

void reportSummary(SummaryKind kind, const RunTotals& totals) {
    char lines[maxSummaryLines][reportLineCapacity];
    const int count = formatSummaryLines(lines, kind, totals);
    if (count == 0) return;
    for (int i = 0; i < count; ++i) consoleLine(lines[i]);
    consoleLine("");
    for (int i = 0; i < count; ++i) resultsLine(lines[i]);
    resultsLine("");
}

std::string closingLine() {
    const char* lead = resultsWriteFailed ? notAllSavedLead : resultsCreated ? savedLead : notCreatedLead;
    return lead + resultsPathFor(workingDirectory, resultsFileName);
}
