#include "app/Display.h"

namespace app {

// A Windows session always has its desktop to show the window on.
bool DisplayAvailable(int, char**) { return true; }

std::string NoDisplayMessage() { return {}; }

}  // namespace app
