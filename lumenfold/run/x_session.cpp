#include "run/x_session.h"

#include "common/process.h"
#include "shell/swap.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/wait.h>
#include <unistd.h>

using nlohmann::json;

namespace {

Display* input = nullptr;

// Xlib's default handler ends the process on any protocol error, such as a
// window that disappears between being found and being sent a key.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

const char* glString(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "unknown";
}

// Runs in the probe's child process.
json probeInChild(const std::string& display) {
    json out;
    XSetErrorHandler(ignoreXError);
    Display* x = XOpenDisplay(display.c_str());
    if (x == nullptr) return {{"error", "cannot open display " + display}};
    int errorBase = 0;
    int eventBase = 0;
    if (!glXQueryExtension(x, &errorBase, &eventBase)) return {{"error", "the display has no GLX extension"}};
    const int screen = DefaultScreen(x);
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, None};
    XVisualInfo* visual = glXChooseVisual(x, screen, attributes);
    if (visual == nullptr) return {{"error", "no double-buffered RGBA GLX visual"}};
    const Window root = RootWindow(x, screen);
    XSetWindowAttributes windowAttributes{};
    windowAttributes.colormap = XCreateColormap(x, root, visual->visual, AllocNone);
    const Window window = XCreateWindow(x, root, 0, 0, 16, 16, 0, visual->depth, InputOutput, visual->visual,
                                        CWColormap | CWBorderPixel, &windowAttributes);
    GLXContext context = glXCreateContext(x, visual, nullptr, True);
    if (context == nullptr || !glXMakeCurrent(x, window, context))
        return {{"error", "cannot create and bind a GLX context"}};

    out["gl"] = {{"vendor", glString(GL_VENDOR)}, {"renderer", glString(GL_RENDERER)}, {"version", glString(GL_VERSION)}};

    // The same request the programs make, so the figure is what they get.
    const int inForce = requestSwapIntervalZero();
    out["swapInterval"] = inForce >= 0 ? json(inForce) : json(nullptr);
    glXMakeCurrent(x, None, nullptr);
    glXDestroyContext(x, context);
    XDestroyWindow(x, window);
    XCloseDisplay(x);
    return out;
}

}  // namespace

namespace {

// 128 random bits, as MIT-MAGIC-COOKIE-1 wants them: hexadecimal.
bool randomCookie(std::string& cookie, std::string& error) {
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = std::string("cannot read random bytes for the X cookie: ") + strerror(errno);
            return false;
        }
        got += size_t(n);
    }
    static const char digits[] = "0123456789abcdef";
    cookie.clear();
    for (unsigned char byte : bytes) {
        cookie += digits[byte >> 4];
        cookie += digits[byte & 15];
    }
    return true;
}

// The cookie goes to xauth on its standard input, never on a command line
// that other users can read in /proc.
bool addCookie(const std::string& file, const std::string& display, const std::string& cookie, std::string& error) {
    const ToolRun xauth = runWithInput({"xauth", "-q", "-f", file, "source", "-"}, "add " + display + " . " + cookie + "\n");
    if (xauth.ok) return true;
    error = "cannot write the X cookie with xauth (Debian package xauth): " + xauth.error;
    return false;
}

void removeAuthority(XServer& server) {
    if (!server.authFile.empty()) unlink(server.authFile.c_str());
    // xauth leaves lock files beside the file when it is interrupted.
    for (const char* suffix : {"-c", "-l", "-n"}) unlink((server.authFile + suffix).c_str());
    if (!server.authDirectory.empty()) rmdir(server.authDirectory.c_str());
    server.authFile.clear();
    server.authDirectory.clear();
}

// A private directory with an empty 0600 file, filled with the cookie under a
// placeholder display: the server loads every cookie in the file whatever
// display it names, and clients get an entry for the real display later.
bool makeAuthority(XServer& server, const std::string& cookie, std::string& error) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/lumenfold-x-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        error = "cannot create a private directory for the X cookie in " + pattern + ": " + strerror(errno);
        return false;
    }
    server.authDirectory = pattern;
    server.authFile = pattern + "/Xauthority";
    const int fd = open(server.authFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot create " + server.authFile + ": " + strerror(errno);
        removeAuthority(server);
        return false;
    }
    close(fd);
    if (!addCookie(server.authFile, ":0", cookie, error)) {
        removeAuthority(server);
        return false;
    }
    return true;
}

// -noreset: the server would otherwise restart as the probe's connection
// closes, and refuse the program that connects meanwhile.
bool spawnXvfb(const std::string& authFile, int displayFd, pid_t& pid, std::string& error) {
    ChildSpec spec;
    spec.argv = {"Xvfb", "-displayfd", std::to_string(displayFd), "-auth", authFile, "-screen", "0", "1920x1200x24",
                 "-nolisten", "tcp", "-noreset"};
    spec.input = spec.output = spec.errors = Stream::discard;
    spec.detached = true;
    spec.passFds = {displayFd};
    ChildProcess child;
    bool missing = false;
    if (!startChild(spec, child, error, &missing)) {
        if (missing) error = "cannot start Xvfb: it is not installed (Debian package xvfb) or not on PATH";
        return false;
    }
    pid = child.pid;
    return true;
}

}  // namespace

bool startXvfb(XServer& server, std::string& error) {
    std::string cookie;
    if (!randomCookie(cookie, error) || !makeAuthority(server, cookie, error)) return false;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("cannot create a pipe: ") + strerror(errno);
        removeAuthority(server);
        return false;
    }
    const bool started = spawnXvfb(server.authFile, fds[1], server.pid, error);
    close(fds[1]);
    if (!started) {
        server.pid = -1;
        close(fds[0]);
        removeAuthority(server);
        return false;
    }
    std::string number;
    const bool done = readAll(fds[0], number, 30);
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        int status = 0;
        if (!done || waitpid(server.pid, &status, WNOHANG) == 0) stopProcess(server.pid, status, 0);
        error = WIFEXITED(status) && WEXITSTATUS(status) == 127
                    ? "cannot start Xvfb: it is not installed (Debian package xvfb) or not on PATH"
                    : "Xvfb did not report a display number within 30 s";
        server.pid = -1;
        removeAuthority(server);
        return false;
    }
    server.display = ":" + number;
    if (!addCookie(server.authFile, server.display, cookie, error)) {
        stopXvfb(server);
        return false;
    }
    return true;
}

void stopXvfb(XServer& server) {
    int status = 0;
    stopProcess(server.pid, status, 10);
    server.pid = -1;
    removeAuthority(server);
}

int answerGlProbe(const std::string& display) {
    // The answer has the pipe to itself; anything the GL stack prints goes to stderr.
    const int answer = dup(1);
    dup2(2, 1);
    const std::string text = probeInChild(display).dump();
    size_t written = 0;
    while (written < text.size()) {
        ssize_t n = write(answer, text.data() + written, text.size() - written);
        if (n <= 0) break;
        written += size_t(n);
    }
    return 0;
}

json probeGl(const std::string& display, const std::map<std::string, std::string>& environment) {
    // In a child of its own, so that a driver that crashes or hangs, or GL
    // state left behind, cannot touch lumenfold.
    ChildSpec spec;
    spec.output = Stream::pipe;
    if (environment.empty()) {
        spec.code = [&display] { return answerGlProbe(display); };
    } else {
        // The dynamic loader reads LD_LIBRARY_PATH and LD_PRELOAD only as a
        // process starts: a GL stack chosen by them is found by a fresh one.
        spec.argv = {"/proc/self/exe"};
        for (const auto& [name, value] : environment) spec.environment[name] = value;
        spec.environment[glProbeVariable] = display;
    }
    ChildProcess child;
    std::string error;
    if (!startChild(spec, child, error)) return {{"error", error}};
    const pid_t pid = child.pid;
    std::string text;
    const bool finished = readAll(child.output, text, 60);
    closePipes(child);
    int status = 0;
    if (!finished) kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    if (!finished) return {{"error", "the GL probe did not finish within 60 s"}};
    json result = json::parse(text, nullptr, false);
    if (result.is_discarded() || !result.is_object()) {
        std::string how = WIFSIGNALED(status) ? "was killed by signal " + std::to_string(WTERMSIG(status))
                                              : "gave no answer";
        return {{"error", "the GL probe " + how}};
    }
    return result;
}

bool openInput(const std::string& display, std::string& error) {
    XSetErrorHandler(ignoreXError);
    input = XOpenDisplay(display.c_str());
    if (input == nullptr) {
        error = "cannot open display " + display;
        return false;
    }
    return true;
}

void closeInput() {
    if (input != nullptr) XCloseDisplay(input);
    input = nullptr;
}

namespace {

// The window's title, from _NET_WM_NAME where a toolkit set it, else WM_NAME.
bool titleOf(Window window, std::string& title) {
    static const Atom netName = XInternAtom(input, "_NET_WM_NAME", False);
    for (Atom property : {netName, Atom(XA_WM_NAME)}) {
        XTextProperty text{};
        if (XGetTextProperty(input, window, &text, property) && text.value != nullptr) {
            title.assign(reinterpret_cast<const char*>(text.value), text.nitems);
            XFree(text.value);
            return true;
        }
    }
    return false;
}

// Window managers put the program's window inside frames of their own, so
// the search goes down the whole tree.
void collectTitled(Window window, const std::string& title, std::vector<unsigned long>& found) {
    std::string name;
    if (titleOf(window, name) && name == title) found.push_back(window);
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(input, window, &root, &parent, &children, &count)) return;
    for (unsigned i = 0; i < count; ++i) collectTitled(children[i], title, found);
    if (children != nullptr) XFree(children);
}

}  // namespace

std::vector<unsigned long> windowsTitled(const std::string& title) {
    std::vector<unsigned long> found;
    if (input == nullptr) return found;
    for (int screen = 0; screen < ScreenCount(input); ++screen)
        collectTitled(RootWindow(input, screen), title, found);
    return found;
}

bool sendKey(unsigned long window, const char* keysym) {
    if (input == nullptr) return false;
    const KeySym symbol = XStringToKeysym(keysym);
    const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(input, symbol);
    if (code == 0) return false;
    // Sent to the window itself rather than faked through the server's
    // input, so the keys reach the program whatever has the focus and never
    // land in another application.
    XEvent event{};
    event.xkey.display = input;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow(input);
    event.xkey.subwindow = None;
    event.xkey.time = CurrentTime;
    event.xkey.same_screen = True;
    event.xkey.keycode = code;
    event.xkey.state = 0;
    event.type = KeyPress;
    Status pressed = XSendEvent(input, window, True, KeyPressMask, &event);
    event.type = KeyRelease;
    Status released = XSendEvent(input, window, True, KeyReleaseMask, &event);
    XSync(input, False);
    return pressed != 0 && released != 0;
}

bool windowSize(unsigned long window, unsigned& width, unsigned& height) {
    if (input == nullptr) return false;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(input, window, &attributes)) return false;
    width = unsigned(attributes.width);
    height = unsigned(attributes.height);
    return true;
}
