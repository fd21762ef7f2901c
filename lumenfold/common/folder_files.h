// A folder of files written whole (a static site): everything is written
// into a fresh folder beside the final entries and then moved into place
// entry by entry, each move atomic, so a reader never sees a half-written
// file, and a site that cannot be finished leaves the one before intact.
#pragma once

#include <string>
#include <utility>
#include <vector>

// files: (path under folder, '/'-separated, no "..", content). The folder
// must exist. Top-level entries are moved in the order they first appear
// (a folder such as series/ swapped whole for the one before, whose files
// then go), so list the pages that link to others last. Entries of the
// folder not written are left as they are. False with error set (for
// people) when not every file is in place: then the entries moved before
// the failure are new, the rest as they were, and no partial file is left.
bool writeFolderFiles(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& files,
                      std::string& error);
