// Whether the window can be shown at all: on Linux, a display for the platform Qt will use (a
// Windows session always has one).
#pragma once

#include <string>

namespace app {

// The platform comes from "-platform <name>" among the arguments or from QT_QPA_PLATFORM;
// the X11 and Wayland platforms (the default) need DISPLAY or WAYLAND_DISPLAY, the others
// (offscreen, vnc, ...) bring their own screen.
bool DisplayAvailable(int argc, char** argv);

// What the user reads when there is none.
std::string NoDisplayMessage();

}  // namespace app
