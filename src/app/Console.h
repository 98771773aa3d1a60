// Where the text of the unattended modes and of the usage goes. The Windows program has no
// console of its own (a double-click shows no console window): standard output and standard
// error go where they were redirected, else to the console of the program that started it, if
// any. Text is UTF-8 inside the program; a console gets it as UTF-16, so accents show right in
// any code page, and a file or a pipe gets the UTF-8 bytes. On Linux the streams stay as they are.
#pragma once

#include <memory>
#include <ostream>

namespace app {

class ParentConsole {
  public:
    // Takes std::cout and std::cerr over for its lifetime.
    ParentConsole();
    ~ParentConsole();
    ParentConsole(const ParentConsole&) = delete;
    ParentConsole& operator=(const ParentConsole&) = delete;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace app
