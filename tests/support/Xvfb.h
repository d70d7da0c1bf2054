// An X server of the test program's own for the suites that drive real X11
// windows. Linking Xvfb.cpp into a test program starts one server for the
// whole program (named in DISPLAY) and names what the sanitizers would report
// inside the X client libraries.
#pragma once

#include <sys/types.h>

#include <string>

// An Xvfb, 24-bit unless told, on a display number it picks itself; quiet,
// and ending with the test program however that ends.
class Xvfb {
public:
    explicit Xvfb(const char* screen = "1024x768x24");
    ~Xvfb() { stop(); }
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    // Ends the server at once, as a crash would.
    void stop();
    std::string name;  // ":N"; empty when it could not be started

    // The program's own server; empty when none could be started (the suites skip).
    static const std::string& programDisplay();

private:
    pid_t pid = -1;
};
