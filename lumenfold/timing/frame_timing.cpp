// Preloaded into a benchmark program (LD_PRELOAD) with LUMENFOLD_TIMING_FILE
// naming a file: at each buffer swap it writes the time since the swap
// before, the process's CPU time over it (the rasteriser threads of a
// software renderer included) and, several swaps later, the GPU time of the
// commands issued in between, from timer queries (model/timing_file.h gives
// the file). Without the variable it only forwards the calls.
//
// The span of a swap opens at the swap before; the first swap's opens just
// after the first clear, where its query begins too (llvmpipe loses the
// beginning of a query begun before the first clear of its context). The
// query of each later swap begins just after the swap before returns and
// ends as the program asks for its own (glutSwapBuffers, or glXSwapBuffers
// called directly), so the swap itself (the copy to the window, and any wait
// for the display) is in the present interval and not in the GPU time.
//
// A GPU result is written on a line of its own when it arrives, rather than
// holding the swap's line back: a run that is killed then keeps every swap's
// line written so far. Each swap's lines go out in one write(2) from a fixed
// buffer; nothing is allocated after the first swap.

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "timing/query_ring.h"
#include "timing/swap_records.h"

#ifndef GL_GPU_DISJOINT_EXT
#define GL_GPU_DISJOINT_EXT 0x8FBB
#endif

namespace {

struct TimingState {
    bool configured = false;
    int fd = -1;
    bool writeFailed = false;
    bool spanOpen = false;
    long long spanStartNs = 0;
    long long spanStartCpuNs = 0;
    long long swaps = 0;
    bool inSwap = false;  // glutSwapBuffers, which calls glXSwapBuffers
    SwapSteps steps;
    GLXContext context = nullptr;  // the queries' context; null once it is gone
    QueryRing ring;
};

TimingState& state() {
    static TimingState s;
    return s;
}

void complain(const char* what, const char* detail) { fprintf(stderr, "lumenfold timing: %s%s\n", what, detail); }

template <typename Function>
Function next(const char* name) {
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr) {
        complain("cannot find the next ", name);
        abort();
    }
    return reinterpret_cast<Function>(symbol);
}

long long clockNs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

void writeAll(TimingState& s, const char* text, size_t length) {
    while (length > 0 && !s.writeFailed) {
        const ssize_t written = write(s.fd, text, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            complain("cannot write the timing file: ", strerror(errno));
            s.writeFailed = true;
            return;
        }
        text += written;
        length -= size_t(written);
    }
}

void writeText(TimingState& s, const char* text) { writeAll(s, text, strlen(text)); }

// The GL entry points of the timer queries, found through GLX as any
// extension's are; what is missing, named, where they cannot all be had.
namespace gl {
PFNGLGENQUERIESPROC genQueries;
PFNGLBEGINQUERYPROC beginQuery;
PFNGLENDQUERYPROC endQuery;
PFNGLGETQUERYOBJECTUIVPROC getQueryObjectuiv;
PFNGLGETQUERYOBJECTUI64VPROC getQueryObjectui64v;
PFNGLGETQUERYIVPROC getQueryiv;
PFNGLGETSTRINGIPROC getStringi;

template <typename Function>
bool find(Function& function, const char* name, const char*& missing) {
    function = reinterpret_cast<Function>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
    if (function == nullptr && missing == nullptr) missing = name;
    return function != nullptr;
}

const char* findAll() {
    const char* missing = nullptr;
    find(genQueries, "glGenQueries", missing);
    find(beginQuery, "glBeginQuery", missing);
    find(endQuery, "glEndQuery", missing);
    find(getQueryObjectuiv, "glGetQueryObjectuiv", missing);
    find(getQueryObjectui64v, "glGetQueryObjectui64v", missing);
    find(getQueryiv, "glGetQueryiv", missing);
    return missing;
}

QueryCalls calls(bool disjointFlag) {
    QueryCalls c;
    c.generate = [](int count, unsigned* names) { genQueries(count, names); };
    c.begin = [](unsigned name) { beginQuery(GL_TIME_ELAPSED, name); };
    c.end = [] { endQuery(GL_TIME_ELAPSED); };
    c.available = [](unsigned name) {
        GLuint ready = GL_FALSE;
        getQueryObjectuiv(name, GL_QUERY_RESULT_AVAILABLE, &ready);
        return ready != GL_FALSE;
    };
    c.result = [](unsigned name) {
        GLuint64 ns = 0;
        getQueryObjectui64v(name, GL_QUERY_RESULT, &ns);
        return uint64_t(ns);
    };
    c.now = [] { return clockNs(CLOCK_MONOTONIC); };
    if (disjointFlag)
        c.disjoint = [] {
            GLint disjoint = GL_FALSE;
            glGetIntegerv(GL_GPU_DISJOINT_EXT, &disjoint);
            return disjoint != GL_FALSE;
        };
    return c;
}
}  // namespace gl

bool hasExtension(const char* list, const char* name) {
    const size_t length = strlen(name);
    for (const char* at = list != nullptr ? strstr(list, name) : nullptr; at != nullptr; at = strstr(at + 1, name))
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
    return false;
}

// A core profile lists its extensions one by one only.
bool contextHas(const char* name) {
    if (const char* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS))) return hasExtension(list, name);
    if (gl::getStringi == nullptr) return false;
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i)
        if (const GLubyte* one = gl::getStringi(GL_EXTENSIONS, GLuint(i)))
            if (strcmp(reinterpret_cast<const char*>(one), name) == 0) return true;
    return false;
}

// The reason there is no GPU time, or null with the ring started.
const char* startQueries(TimingState& s, bool& disjointFlag) {
    static char reason[256];
    if (glXGetCurrentContext() == nullptr) return "no GL context was current at the first frame";
    const char* missing = gl::findAll();
    gl::getStringi = reinterpret_cast<PFNGLGETSTRINGIPROC>(glXGetProcAddressARB(
        reinterpret_cast<const GLubyte*>("glGetStringi")));
    int major = 0, minor = 0;
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (version == nullptr || sscanf(version, "%d.%d", &major, &minor) != 2) major = minor = 0;
    if (major * 10 + minor < 33 && !contextHas("GL_ARB_timer_query")) {
        // One line whatever the driver's version text holds.
        snprintf(reason, sizeof reason, "the driver offers no GL_ARB_timer_query (OpenGL %.160s)",
                 version != nullptr ? version : "of no version");
        for (char* c = reason; *c != '\0'; ++c)
            if ((unsigned char)*c < ' ') *c = ' ';
        return reason;
    }
    if (missing != nullptr) {
        snprintf(reason, sizeof reason, "the driver offers GL_ARB_timer_query but no %s", missing);
        return reason;
    }
    GLint bits = 0;
    gl::getQueryiv(GL_TIME_ELAPSED, GL_QUERY_COUNTER_BITS, &bits);
    if (bits == 0) return "the driver's GL_TIME_ELAPSED counter has no bits";
    disjointFlag = contextHas("GL_EXT_disjoint_timer_query");
    s.ring.start(gl::calls(disjointFlag));
    s.context = glXGetCurrentContext();
    return nullptr;
}

bool inQueryContext(const TimingState& s) { return s.context != nullptr && glXGetCurrentContext() == s.context; }

// The program leaves the queries' context, for now or for good: Mesa's
// llvmpipe corrupts its heap when a context goes with a query still running,
// so the open query is ended and dropped, and what results are there written.
void leaveContext(TimingState& s, bool forGood) {
    if (s.fd < 0 || !inQueryContext(s)) {
        if (forGood) s.context = nullptr;
        return;
    }
    s.ring.abandon();
    GpuResult results[QueryRing::maxResults];
    const int count = s.ring.collect(results);
    char lines[timingLineCapacity * QueryRing::maxResults];
    size_t used = 0;
    for (int i = 0; i < count; ++i) used += formatGpuLine(lines + used, results[i]);
    writeAll(s, lines, used);
    if (forGood) s.context = nullptr;
}

void atExit() { leaveContext(state(), true); }

// Once, at the first clear or swap; the header says whether GPU time will come.
void configure(TimingState& s) {
    s.configured = true;
    const char* path = getenv("LUMENFOLD_TIMING_FILE");
    if (path == nullptr || *path == '\0') return;
    s.fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (s.fd < 0) {
        complain("cannot open the timing file: ", strerror(errno));
        return;
    }
    bool disjointFlag = false;
    const char* why = startQueries(s, disjointFlag);
    const char* gpuLine = why != nullptr ? timing_format::gpuUnavailable : timing_format::gpuAvailable;
    const char* how = disjointFlag
                          ? "GL_ARB_timer_query GL_TIME_ELAPSED, disjoint events from GL_EXT_disjoint_timer_query"
                          : "GL_ARB_timer_query GL_TIME_ELAPSED, no disjoint events (no GL_EXT_disjoint_timer_query)";
    char header[512];
    snprintf(header, sizeof header, "%s\n%s\n%s\n%s %s\n", timing_format::magic, timing_format::frameColumns,
             timing_format::gpuColumns, gpuLine, why != nullptr ? why : how);
    writeText(s, header);
    // After glutInit's own: so it runs first, while the context is still there.
    atexit(atExit);
}

// Opens the first span and the first query once the first drawing has cleared.
void openFirstSpan(TimingState& s) {
    if (s.spanOpen || s.fd < 0) return;
    s.spanOpen = true;
    s.spanStartNs = clockNs(CLOCK_MONOTONIC);
    s.spanStartCpuNs = clockNs(CLOCK_PROCESS_CPUTIME_ID);
    GpuResult none[1];
    if (inQueryContext(s)) s.ring.begin(1, none);
}

struct SwapSubject {
    SwapSteps::Swap what;
    bool timed = false;  // a query ran over the swap's commands
};

SwapSubject beforeSwap(TimingState& s) {
    SwapSubject subject{s.steps.swapped(), s.ring.open() && inQueryContext(s)};
    if (subject.timed) s.ring.end();
    return subject;
}

void recordSwap(TimingState& s, const SwapSteps::Swap& what, bool timed, long long nowNs, long long cpuNs) {
    char lines[timingLineCapacity * (1 + 2 * QueryRing::maxResults)];
    ++s.swaps;
    size_t used = formatFrameLine(lines, s.swaps, what, s.spanOpen ? nowNs - s.spanStartNs : -1,
                                  s.spanOpen ? cpuNs - s.spanStartCpuNs : -1);
    GpuResult results[2 * QueryRing::maxResults];
    int count = 0;
    if (!timed && s.ring.started()) results[count++] = {s.swaps, GpuOutcome::untimed, 0};
    if (inQueryContext(s)) {
        count += s.ring.collect(results + count);
        count += s.ring.begin(s.swaps + 1, results + count);
    }
    for (int i = 0; i < count; ++i) used += formatGpuLine(lines + used, results[i]);
    writeAll(s, lines, used);
    s.spanOpen = true;
    s.spanStartNs = nowNs;
    s.spanStartCpuNs = cpuNs;
}

void afterSwap(TimingState& s, const SwapSubject& before) {
    const long long nowNs = clockNs(CLOCK_MONOTONIC);
    const long long cpuNs = clockNs(CLOCK_PROCESS_CPUTIME_ID);
    recordSwap(s, before.what, before.timed, nowNs, cpuNs);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void glClear(GLbitfield mask) {
    static auto real = next<void (*)(GLbitfield)>("glClear");
    TimingState& s = state();
    if (!s.configured) configure(s);
    s.steps.cleared();
    real(mask);
    openFirstSpan(s);
}

__attribute__((visibility("default"))) void glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
    static auto real = next<void (*)(GLdouble, GLdouble, GLdouble, GLdouble)>("glRotated");
    state().steps.rotated(angle);
    real(angle, x, y, z);
}

// freeglut flushes before it swaps: a query ended only inside the swap
// would end after that flush, in a batch of its own that the driver runs
// whenever the swap gets to it, so the GPU time would take in whatever the
// swap waited for first. Ended before the flush, it goes out with the frame.
__attribute__((visibility("default"))) void glutSwapBuffers() {
    static auto real = next<void (*)()>("glutSwapBuffers");
    TimingState& s = state();
    if (!s.configured) configure(s);
    if (s.fd < 0 || s.inSwap) return real();
    s.inSwap = true;
    const SwapSubject before = beforeSwap(s);
    real();
    afterSwap(s, before);
    s.inSwap = false;
}

__attribute__((visibility("default"))) void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    static auto real = next<void (*)(Display*, GLXDrawable)>("glXSwapBuffers");
    TimingState& s = state();
    if (!s.configured) configure(s);
    if (s.fd < 0 || s.inSwap) return real(display, drawable);
    s.inSwap = true;
    const SwapSubject before = beforeSwap(s);
    real(display, drawable);
    afterSwap(s, before);
    s.inSwap = false;
}

__attribute__((visibility("default"))) Bool glXMakeCurrent(Display* display, GLXDrawable drawable,
                                                           GLXContext context) {
    static auto real = next<Bool (*)(Display*, GLXDrawable, GLXContext)>("glXMakeCurrent");
    if (context != glXGetCurrentContext()) leaveContext(state(), false);
    return real(display, drawable, context);
}

__attribute__((visibility("default"))) Bool glXMakeContextCurrent(Display* display, GLXDrawable draw,
                                                                  GLXDrawable read, GLXContext context) {
    static auto real = next<Bool (*)(Display*, GLXDrawable, GLXDrawable, GLXContext)>("glXMakeContextCurrent");
    if (context != glXGetCurrentContext()) leaveContext(state(), false);
    return real(display, draw, read, context);
}

__attribute__((visibility("default"))) void glXDestroyContext(Display* display, GLXContext context) {
    static auto real = next<void (*)(Display*, GLXContext)>("glXDestroyContext");
    TimingState& s = state();
    if (context == s.context) leaveContext(s, true);
    real(display, context);
}

}  // extern "C"
