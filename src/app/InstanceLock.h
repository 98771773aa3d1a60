// Keeps two installers from working on one machine at once: an exclusive lock on the folder
// above the install folder (on Windows, on a lock file in it), held for the life of the process
// and dropped by the system however the process ends (a kill included).
#pragma once

#include <cstdint>

namespace app {

class InstanceLock {
  public:
    // Tries once, without waiting. Where the folder cannot be made or opened the lock is taken
    // as held: the run then meets that folder's trouble itself.
    InstanceLock();
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // False when another process holds the lock.
    bool acquired() const { return acquired_; }

    static constexpr const char* kAlreadyRunning = "O instalador já está em execução.";

  private:
    std::intptr_t handle_ = -1;  // the system's descriptor or handle; -1 for none
    bool acquired_ = true;
};

}  // namespace app
