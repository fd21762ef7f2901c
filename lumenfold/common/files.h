// Every file lumenfold reads or writes whole goes through here. Reading
// takes only a regular file, and no more of it than the caller allows:
// results files travel between machines, and a named pipe, a device or a
// runaway file under a results file's name must neither hang nor exhaust
// the reader. Writing goes beside the final name and is moved there, so
// that a file that cannot be finished never replaces a good one and nobody
// opens a half-written one.
#pragma once

#include <string>

// A file's bytes, or why they were not read.
struct FileText {
    std::string text;
    std::string error;       // for people, without the path; empty when read
    bool missing = false;    // no file by that name: for a file beside another, often no problem
    bool tooLarge = false;   // larger than the reader allowed
    bool ok() const { return error.empty(); }
};

// Reads a regular file of at most maxBytes. A file still growing is read
// up to the limit and no further; /proc and /sys files, which show no size,
// are read the same way.
FileText readRegularFile(const std::string& path, long long maxBytes);

// False with error set (for people; the paths as given) when the file is not
// in place; nothing is left behind then, and a file already under the name
// is as it was.
bool writeWholeFile(const std::string& path, const std::string& content, std::string& error);
