// Preloaded into a program under test to stand in for a driver that offers
// GLX_MESA_swap_control, which the virtual X server's driver does not.
// LUMENFOLD_SHIM_INTERVAL=honour honours every request; a number is the
// interval the fake driver keeps in force whatever is asked.
#include <GL/glx.h>
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int requested = 1;

int keptInterval() {
    const char* mode = getenv("LUMENFOLD_SHIM_INTERVAL");
    if (mode == nullptr || strcmp(mode, "honour") == 0) return -1;
    return atoi(mode);
}

int shimSwapIntervalMESA(unsigned int interval) {
    requested = int(interval);
    return 0;
}

int shimGetSwapIntervalMESA() {
    const int kept = keptInterval();
    return kept >= 0 ? kept : requested;
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void (*lookUpShim(const GLubyte* name))() {
    const char* text = reinterpret_cast<const char*>(name);
    if (strcmp(text, "glXSwapIntervalMESA") == 0)
        return reinterpret_cast<void (*)()>(shimSwapIntervalMESA);
    if (strcmp(text, "glXGetSwapIntervalMESA") == 0)
        return reinterpret_cast<void (*)()>(shimGetSwapIntervalMESA);
    return nullptr;
}

}  // namespace

extern "C" {

const char* glXQueryExtensionsString(Display* display, int screen) {
    static std::string extended;
    auto real = next<const char* (*)(Display*, int)>("glXQueryExtensionsString");
    extended = std::string(real(display, screen)) + " GLX_MESA_swap_control";
    return extended.c_str();
}

__GLXextFuncPtr glXGetProcAddressARB(const GLubyte* name) {
    if (auto shim = lookUpShim(name)) return shim;
    return next<__GLXextFuncPtr (*)(const GLubyte*)>("glXGetProcAddressARB")(name);
}

__GLXextFuncPtr glXGetProcAddress(const GLubyte* name) {
    if (auto shim = lookUpShim(name)) return shim;
    return next<__GLXextFuncPtr (*)(const GLubyte*)>("glXGetProcAddress")(name);
}

}
