#include "common/messages.h"

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

bool liveLineDrawn = false;

void clearLive() {
    if (liveLineDrawn) fputs("\r\033[K", stderr);
    liveLineDrawn = false;
}

}  // namespace

void tell(const std::string& text) {
    clearLive();
    fprintf(stderr, "lumenfold: %s\n", text.c_str());
    fflush(stderr);
}

void warn(const std::string& text) { tell("warning: " + text); }

bool liveLinesShown() { return isatty(STDERR_FILENO) == 1; }

void showLive(const std::string& text) {
    winsize size{};
    size_t width = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1 : 79;
    // A line that wrapped could not be rewritten in place.
    fprintf(stderr, "\r%s\033[K", text.substr(0, width).c_str());
    fflush(stderr);
    liveLineDrawn = true;
}

void endLive() {
    if (liveLineDrawn) fputc('\n', stderr);
    fflush(stderr);
    liveLineDrawn = false;
}
