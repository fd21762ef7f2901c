#include "common/time_text.h"

#include <cstdio>
#include <iomanip>
#include <sstream>

namespace {

// The one place a time is formatted, by strftime's rules.
std::string formatted(time_t when, const char* format, bool utc) {
    tm parts{};
    if (utc)
        gmtime_r(&when, &parts);
    else
        localtime_r(&when, &parts);
    std::ostringstream text;
    text << std::put_time(&parts, format);
    return text.str();
}

}  // namespace

std::string isoLocalTime(time_t when) {
    // %z gives +0100; ISO 8601 readers expect +01:00.
    std::string out = formatted(when, "%Y-%m-%dT%H:%M:%S%z", false);
    if (out.size() >= 5 && (out[out.size() - 5] == '+' || out[out.size() - 5] == '-'))
        out.insert(out.size() - 2, ":");
    return out;
}

std::string isoUtcTime(time_t when) { return formatted(when, "%Y-%m-%dT%H:%M:%SZ", true); }

std::string dateStamp(time_t when) { return formatted(when, "%Y%m%d-%H%M%S", false); }

std::string localTimeText(time_t when, const char* format) { return formatted(when, format, false); }

bool parseIsoTime(const std::string& text, long long& seconds) {
    tm when{};
    char zone[8] = {};
    int used = 0;
    if (sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &when.tm_year, &when.tm_mon, &when.tm_mday, &when.tm_hour,
               &when.tm_min, &when.tm_sec, &used) != 6 || used != 19)
        return false;
    const std::string rest = text.substr(19);
    long offset = 0;
    int hours = 0, minutes = 0;
    if (rest == "Z") {
        offset = 0;
    } else if (rest.size() == 6 && (rest[0] == '+' || rest[0] == '-') &&
               sscanf(rest.c_str() + 1, "%2d:%2d%7s", &hours, &minutes, zone) == 2 && rest[3] == ':') {
        offset = (rest[0] == '-' ? -1 : 1) * (hours * 3600L + minutes * 60L);
    } else {
        return false;
    }
    if (when.tm_mon < 1 || when.tm_mon > 12 || when.tm_mday < 1 || when.tm_mday > 31 || when.tm_hour > 23 ||
        when.tm_min > 59 || when.tm_sec > 60 || hours > 23 || minutes > 59)
        return false;
    when.tm_year -= 1900;
    when.tm_mon -= 1;
    seconds = (long long)timegm(&when) - offset;
    return true;
}
