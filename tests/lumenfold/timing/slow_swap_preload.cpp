// A test-only preload that makes every buffer swap 20 ms slower, as a slow
// display would: the time goes by inside glXSwapBuffers, not in GL commands.
#include <dlfcn.h>

#include <ctime>

extern "C" __attribute__((visibility("default"))) void glXSwapBuffers(void* display, unsigned long drawable) {
    static auto real = reinterpret_cast<void (*)(void*, unsigned long)>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
    timespec wait{0, 20000000};
    while (nanosleep(&wait, &wait) != 0) {
    }
    real(display, drawable);
}
