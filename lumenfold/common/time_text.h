// Times as lumenfold writes and reads them: ISO 8601 with the offset from
// UTC in context files and the history, a compact stamp in directory names.
#pragma once

#include <ctime>
#include <string>

// Local time with its offset from UTC, e.g. "2026-12-07T14:05:09+01:00".
std::string isoLocalTime(time_t when);
// UTC, e.g. "2026-12-07T13:05:09Z".
std::string isoUtcTime(time_t when);
// Local time for a name, e.g. "20261207-140509".
std::string dateStamp(time_t when);
// Local time by strftime's rules: the one formatter the others use.
std::string localTimeText(time_t when, const char* format);

// Seconds since the epoch of an ISO 8601 time with its offset
// ("2026-12-07T14:05:09+01:00", or Z); false when it is not one.
bool parseIsoTime(const std::string& text, long long& seconds);
