#include "common/time_text.h"

#include <ctime>

std::string timeText(long long seconds, const char* format, bool utc) {
    const time_t t = time_t(seconds);
    tm parts{};
    if (utc)
        gmtime_r(&t, &parts);
    else
        localtime_r(&t, &parts);
    char text[64];
    const size_t length = strftime(text, sizeof text, format, &parts);
    return std::string(text, length);
}

std::string isoUtcText(long long seconds) { return timeText(seconds, "%Y-%m-%dT%H:%M:%SZ", true); }

std::string localStamp(const char* format) { return timeText(time(nullptr), format, false); }
