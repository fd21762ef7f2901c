// Preloaded into a benchmark program by `lumenfold validate` (LD_PRELOAD):
// at the steps it is told to capture, reads the back buffer just before the
// buffer swap and keeps it as a PNG with the hash of its pixels. Without it
// nothing in the programs changes; with it, the read-back lands inside the
// frame's measured time, so a run that carries it is never a measurement.
//
//   LUMENFOLD_CAPTURE_DIR    where step-N.png and step-N.hash go
//   LUMENFOLD_CAPTURE_STEPS  the steps, as "1,2,5"
//
// Which step a frame shows: triangles and cube turn their scene by
// glRotated(s + 45, 1, 1, 1) once per frame, with s the step counter held
// exactly as a double, so the angle names the step whatever made GLUT redraw
// (an expose or a reshape draws the same step again, and only the first
// drawing of a step is kept). streaming never rotates, and nothing it draws
// (the clear and the help text) depends on its step: its frames are counted
// by the clear that opens each one, and its kernel blocks' swaps, which
// follow no clear, are not frames of their own.

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "common/files.h"
#include "model/image.h"
#include "model/png_file.h"

namespace {

struct CaptureState {
    bool configured = false;
    std::string directory;
    std::set<long long> wanted;
    std::set<long long> taken;
    bool frameOpen = false;     // a clear since the last swap
    long long clears = 0;
    long long rotatedStep = 0;  // this frame's step from its rotation; 0: none
};

CaptureState& state() {
    static CaptureState s;
    return s;
}

void complain(const std::string& what) { fprintf(stderr, "lumenfold capture: %s\n", what.c_str()); }

void configure(CaptureState& s) {
    s.configured = true;
    const char* directory = getenv("LUMENFOLD_CAPTURE_DIR");
    const char* steps = getenv("LUMENFOLD_CAPTURE_STEPS");
    if (directory == nullptr || steps == nullptr) return;
    s.directory = directory;
    for (const char* p = steps; *p != '\0';) {
        char* end = nullptr;
        errno = 0;
        const long long step = strtoll(p, &end, 10);
        if (end == p || errno != 0 || step < 1) {
            complain(std::string("LUMENFOLD_CAPTURE_STEPS is not a list of steps: ") + steps);
            s.wanted.clear();
            return;
        }
        s.wanted.insert(step);
        p = *end == ',' ? end + 1 : end;
    }
}

template <typename Function>
Function next(const char* name) {
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr) {
        complain(std::string("cannot find the next ") + name);
        abort();
    }
    return reinterpret_cast<Function>(symbol);
}

// The back buffer as it will be shown, rows from the top. The read buffer
// and the pixel-store state are restored, so the frames that follow draw as
// they would have.
bool readBackBuffer(Display* display, GLXDrawable drawable, Image& image) {
    Window root = 0;
    int left = 0, top = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (XGetGeometry(display, drawable, &root, &left, &top, &width, &height, &border, &depth) == 0) return false;
    if (width == 0 || height == 0 || width > 16384 || height > 16384) return false;
    std::string bottomUp(size_t(width) * height * 3, '\0');
    glPushAttrib(GL_PIXEL_MODE_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_PACK_SWAP_BYTES, GL_FALSE);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, GLsizei(width), GLsizei(height), GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    glPopClientAttrib();
    glPopAttrib();
    image.width = int(width);
    image.height = int(height);
    image.rgb.resize(bottomUp.size());
    const size_t row = size_t(width) * 3;
    for (size_t y = 0; y < height; ++y) memcpy(&image.rgb[y * row], &bottomUp[(height - 1 - y) * row], row);
    return true;
}

void keep(const CaptureState& s, long long step, const Image& image) {
    const std::string base = s.directory + "/step-" + std::to_string(step);
    std::string error;
    if (!writePng(base + ".png", image, error)) {
        complain(error);
        return;
    }
    const std::string hash = hashText(pixelHash(image)) + " " + std::to_string(image.width) + "x" +
                             std::to_string(image.height) + "\n";
    if (!writeWholeFile(base + ".hash", hash, error)) complain(error);
}

void captureFrame(Display* display, GLXDrawable drawable) {
    CaptureState& s = state();
    if (!s.configured) configure(s);
    if (!s.frameOpen) return;
    const long long step = s.rotatedStep > 0 ? s.rotatedStep : s.clears;
    s.frameOpen = false;
    s.rotatedStep = 0;
    if (s.wanted.count(step) == 0 || s.taken.count(step) != 0) return;
    s.taken.insert(step);
    Image image;
    if (readBackBuffer(display, drawable, image))
        keep(s, step, image);
    else
        complain("cannot read the size of the window at step " + std::to_string(step));
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void glClear(GLbitfield mask) {
    static auto real = next<void (*)(GLbitfield)>("glClear");
    CaptureState& s = state();
    ++s.clears;
    s.frameOpen = true;
    real(mask);
}

__attribute__((visibility("default"))) void glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
    static auto real = next<void (*)(GLdouble, GLdouble, GLdouble, GLdouble)>("glRotated");
    // s + 45 and back is exact for every whole s below 2^52.
    const double step = angle - 45.0;
    if (step >= 1 && step < 4503599627370496.0 && step == std::floor(step)) state().rotatedStep = (long long)step;
    real(angle, x, y, z);
}

__attribute__((visibility("default"))) void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    static auto real = next<void (*)(Display*, GLXDrawable)>("glXSwapBuffers");
    captureFrame(display, drawable);
    real(display, drawable);
}

}  // extern "C"
