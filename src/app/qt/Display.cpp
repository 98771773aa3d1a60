#include "app/Display.h"

#include <cstdlib>
#include <string_view>

namespace app {

namespace {

bool Set(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

}  // namespace

bool DisplayAvailable(int argc, char** argv) {
    std::string_view platform;
    if (const char* env = std::getenv("QT_QPA_PLATFORM")) platform = env;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string_view(argv[i]) == "-platform") platform = argv[i + 1];
    }
    const bool needsServer =
        platform.empty() || platform.starts_with("xcb") || platform.starts_with("wayland");
    return !needsServer || Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}

std::string NoDisplayMessage() {
    return "Não há tela disponível para mostrar a janela do instalador (DISPLAY não está "
           "definido).\n"
           "Use /quiet para instalar sem janela.\n";
}

}  // namespace app
