// What `lumenfold run` does on the X display: a private Xvfb when there is
// no display, the GL and swap-interval probe, finding the program's window
// and pressing its keys.
#pragma once

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

#include <nlohmann/json.hpp>

// A private virtual X server. Only clients holding its cookie get in: the
// cookie sits in a 0600 file in a 0700 directory of its own, and the server
// listens on no TCP port.
struct XServer {
    pid_t pid = -1;
    std::string display;        // ":N"
    std::string authDirectory;  // removed with the server
    std::string authFile;       // what XAUTHORITY names for its clients
};

// Starts Xvfb on a display number of its own choosing. It dies with us.
bool startXvfb(XServer& server, std::string& error);
// Stops the server and removes its cookie.
void stopXvfb(XServer& server);

// GL_VENDOR, GL_RENDERER, GL_VERSION and the swap interval of a small GLX
// window on the display, probed in a child process so that a faulty driver
// cannot take lumenfold down with it.
// With an environment, the probe is lumenfold started afresh with those
// variables set, so that it finds the GL stack a program given them finds.
nlohmann::json probeGl(const std::string& display, const std::map<std::string, std::string>& environment = {});

// Set in the environment of lumenfold started as the probe: the display.
inline constexpr const char* glProbeVariable = "LUMENFOLD_GL_PROBE_DISPLAY";
// The probe's work in the process it runs in: the answer, as JSON, on
// standard output; the exit status.
int answerGlProbe(const std::string& display);

// The connection that finds windows and sends keys.
bool openInput(const std::string& display, std::string& error);
void closeInput();
// Top-level or nested windows whose title is exactly this.
std::vector<unsigned long> windowsTitled(const std::string& title);
// Sends one key press and release straight to the window, whatever has the focus.
bool sendKey(unsigned long window, const char* keysym);
bool windowSize(unsigned long window, unsigned& width, unsigned& height);
