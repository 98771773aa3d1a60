// A one-line progress bar for a terminal: "[#######.....]  45%  1.2/2.7 MiB", redrawn in place
// at most about ten times a second, with a last line at 100%.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace ftptool {

// The bar's text for a count of bytes out of a total (an empty total counts as done).
std::string FormatProgress(std::int64_t current, std::int64_t total, int width = 30);

class ProgressBar {
  public:
    using Clock = std::chrono::steady_clock;
    explicit ProgressBar(std::FILE* out) : out_(out) {}

    // Feeds one progress event; draws when enough time has passed or the transfer is complete.
    void Update(std::int64_t current, std::int64_t total);
    // Ends the line if a bar was drawn but never reached 100% (a failed transfer).
    void Finish();

  private:
    void Draw(std::int64_t current, std::int64_t total);

    std::FILE* out_;
    Clock::time_point lastDraw_{};
    bool drawn_ = false;
    bool done_ = false;
};

}  // namespace ftptool
