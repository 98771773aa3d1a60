// An environment variable set for a test's scope and restored after it.
#pragma once

#include <cstdlib>
#include <string>
#include <utility>

namespace testsupport {

#ifdef _WIN32
// The C runtime's own, which also sets the system's environment of the process ("" removes).
inline void setenv(const char* name, const char* value, int) { _putenv_s(name, value); }
inline void unsetenv(const char* name) { _putenv_s(name, ""); }
#endif

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) {
            had_ = true;
            old_ = old;
        }
        setenv(name_.c_str(), value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

}  // namespace testsupport
