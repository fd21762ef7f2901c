// What `lumenfold run` does on the X display: a private Xvfb when there is
// no display, the GL and swap-interval probe, finding the program's window
// and pressing its keys.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include <nlohmann/json.hpp>

// Starts Xvfb on a display number of its own choosing. It dies with us.
bool startXvfb(std::string& display, pid_t& pid, std::string& error);
void stopXvfb(pid_t pid);

// GL_VENDOR, GL_RENDERER, GL_VERSION and the swap interval of a small GLX
// window on the display, probed in a child process so that a faulty driver
// cannot take lumenfold down with it.
nlohmann::json probeGl(const std::string& display);

// The connection that finds windows and sends keys.
bool openInput(const std::string& display, std::string& error);
void closeInput();
// Top-level or nested windows whose title is exactly this.
std::vector<unsigned long> windowsTitled(const std::string& title);
// Sends one key press and release straight to the window, whatever has the focus.
bool sendKey(unsigned long window, const char* keysym);
bool windowSize(unsigned long window, unsigned& width, unsigned& height);
