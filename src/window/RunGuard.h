// Marks a run (a transfer, the install sequence) as under way for the lifetime of the object,
// whichever way the run ends.
#pragma once

class RunGuard {
  public:
    explicit RunGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunGuard() { flag_ = false; }
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;

  private:
    bool& flag_;
};
