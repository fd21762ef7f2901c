// Times as lumenfold writes them: one formatter, so that a name or a field
// never differs from another only by how its time was spelled.
#pragma once

#include <string>

// seconds since the epoch by strftime's format, in UTC or in local time.
std::string timeText(long long seconds, const char* format, bool utc);
// "2026-12-08T16:47:26Z".
std::string isoUtcText(long long seconds);
// Now, local, for names of files and folders: "20261208-164707".
std::string localStamp(const char* format = "%Y%m%d-%H%M%S");
