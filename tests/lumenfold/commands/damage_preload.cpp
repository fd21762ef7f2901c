// A test-only preload that stands for a faulty driver: it damages what the
// programs draw, unless LIBGL_ALWAYS_SOFTWARE=1 (the software reference's
// path stays sound, as a hardware driver's fault would leave it).
//   LUMENFOLD_DAMAGE=tile   triangles' draw call loses its work in the right quarter of the window
//   LUMENFOLD_DAMAGE=half   triangles' draw call draws half its indices
//   LUMENFOLD_DAMAGE=light  light 0 gets no diffuse term (cube, triangles)
#include <GL/gl.h>
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

namespace {

bool damaging(const char* kind) {
    const char* software = getenv("LIBGL_ALWAYS_SOFTWARE");
    const char* damage = getenv("LUMENFOLD_DAMAGE");
    return damage != nullptr && strcmp(damage, kind) == 0 && (software == nullptr || strcmp(software, "1") != 0);
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void glDrawElements(GLenum mode, GLsizei count, GLenum type,
                                                           const void* indices) {
    static auto real = next<void (*)(GLenum, GLsizei, GLenum, const void*)>("glDrawElements");
    if (damaging("half")) count = count / 6 * 3;
    if (!damaging("tile")) {
        real(mode, count, type, indices);
        return;
    }
    GLint viewport[4], scissor[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_SCISSOR_BOX, scissor);
    glScissor(viewport[0], viewport[1], viewport[2] * 3 / 4, viewport[3]);
    real(mode, count, type, indices);
    glScissor(scissor[0], scissor[1], scissor[2], scissor[3]);
}

__attribute__((visibility("default"))) void glLightfv(GLenum light, GLenum name, const GLfloat* values) {
    static auto real = next<void (*)(GLenum, GLenum, const GLfloat*)>("glLightfv");
    static const GLfloat dark[4] = {0, 0, 0, 1};
    real(light, name, light == GL_LIGHT0 && name == GL_DIFFUSE && damaging("light") ? dark : values);
}

}  // extern "C"
