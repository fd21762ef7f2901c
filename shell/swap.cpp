#include "swap.h"

#include <GL/glx.h>

#include <cstring>

#ifndef GLX_SWAP_INTERVAL_EXT
#define GLX_SWAP_INTERVAL_EXT 0x20F1
#endif

namespace {

bool hasExtension(const char* list, const char* name) {
    if (list == nullptr) return false;
    const size_t length = strlen(name);
    for (const char* at = strstr(list, name); at != nullptr; at = strstr(at + 1, name)) {
        const bool startsWord = at == list || at[-1] == ' ';
        const bool endsWord = at[length] == ' ' || at[length] == '\0';
        if (startsWord && endsWord) return true;
    }
    return false;
}

template <typename Function>
Function lookUp(const char* name) {
    return reinterpret_cast<Function>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

}  // namespace

int requestSwapIntervalZero() {
    Display* display = glXGetCurrentDisplay();
    GLXDrawable drawable = glXGetCurrentDrawable();
    if (display == nullptr || drawable == 0) return -1;
    const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));

    if (hasExtension(extensions, "GLX_EXT_swap_control")) {
        auto setInterval = lookUp<void (*)(Display*, GLXDrawable, int)>("glXSwapIntervalEXT");
        if (setInterval != nullptr) {
            setInterval(display, drawable, 0);
            unsigned int inForce = 0;
            glXQueryDrawable(display, drawable, GLX_SWAP_INTERVAL_EXT, &inForce);
            return int(inForce);
        }
    }
    if (hasExtension(extensions, "GLX_MESA_swap_control")) {
        auto setInterval = lookUp<int (*)(unsigned int)>("glXSwapIntervalMESA");
        auto getInterval = lookUp<int (*)()>("glXGetSwapIntervalMESA");
        if (setInterval != nullptr && getInterval != nullptr) {
            setInterval(0);
            return getInterval();
        }
    }
    return -1;
}

const char* swapIntervalWarning(int intervalInForce) {
    if (intervalInForce == 0) return nullptr;
    if (intervalInForce < 0)
        return "Warning: the driver offers no swap-interval control, so frame rates may be "
               "capped by the display's refresh.";
    return "Warning: the driver keeps vertical sync on, so frame rates may be capped by the "
           "display's refresh.";
}
