#include "common/time_text.h"

#include <ctime>

namespace {

tm localNow() {
    const time_t now = time(nullptr);
    tm parts{};
    localtime_r(&now, &parts);
    return parts;
}

}  // namespace

// Each format stays a literal at its strftime, where the compiler checks it.
std::string isoUtcText(long long seconds) {
    const time_t t = time_t(seconds);
    tm parts{};
    gmtime_r(&t, &parts);
    char text[64];
    return std::string(text, strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts));
}

std::string localStamp() {
    const tm parts = localNow();
    char text[64];
    return std::string(text, strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts));
}

std::string localDashedStamp() {
    const tm parts = localNow();
    char text[64];
    return std::string(text, strftime(text, sizeof text, "%Y-%m-%d-%H%M%S", &parts));
}
