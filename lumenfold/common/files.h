// Every file lumenfold reads or writes whole goes through here. Reading
// takes only a regular file, and no more of it than the caller allows:
// results files travel between machines, and a named pipe, a device or a
// runaway file under a results file's name must neither hang nor exhaust
// the reader. Writing goes beside the final name and is moved there, so
// that a file that cannot be finished never replaces a good one and nobody
// opens a half-written one; a folder of files the same way, entry by entry.
#pragma once

#include <string>
#include <utility>
#include <vector>

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

// Gives the file at `from` the name `to`, never over a file already there
// (link() refuses where rename() would replace it, so no check can go stale
// before the move); false with error for people ("X is there already",
// "cannot name it X: reason"), the file left at `from`.
bool nameWithoutReplacing(const std::string& from, const std::string& to, std::string& error);

// False with error set (for people; the paths as given) when the file is not
// in place; nothing is left behind then, and a file already under the name
// is as it was.
bool writeWholeFile(const std::string& path, const std::string& content, std::string& error);

// A folder of files written whole (a static site): everything is written
// into a fresh folder beside the final entries and then moved into place
// entry by entry, each move atomic, so a reader never sees a half-written
// file, and a site that cannot be finished leaves the one before intact.
//
// files: (path under folder, '/'-separated, no "..", content). The folder
// must exist. Top-level entries are moved in the order they first appear
// (a folder such as series/ swapped whole for the one before, whose files
// then go), so list the pages that link to others last. Entries of the
// folder not written are left as they are. False with error set (for
// people) when not every file is in place: then the entries moved before
// the failure are new, the rest as they were, and no partial file is left.
bool writeFolderFiles(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& files,
                      std::string& error);
