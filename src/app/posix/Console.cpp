#include "app/Console.h"

namespace app {

struct ParentConsole::Impl {};

ParentConsole::ParentConsole() = default;
ParentConsole::~ParentConsole() = default;

}  // namespace app
