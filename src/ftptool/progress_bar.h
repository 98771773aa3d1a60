// A one-line progress bar for a terminal: "[#######.....]  45%  1.2/2.7 MiB  310.5 KiB/s
// 0:05 left", redrawn in place at most about ten times a second, with a last line at 100%.
// Nothing is drawn when the output is not a terminal (a log file, a pipe).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace ftptool {

// The bar's text for a count of bytes out of a total (an empty total counts as done).
std::string FormatProgress(std::int64_t current, std::int64_t total, int width = 30);

// The rate and the time left after `seconds` ("  310.5 KiB/s  0:05 left"); empty before any
// byte has been counted.
std::string FormatRate(std::int64_t current, std::int64_t total, double seconds);

class ProgressBar {
  public:
    using Clock = std::chrono::steady_clock;
    explicit ProgressBar(std::FILE* out);

    // Feeds one progress event; draws when enough time has passed or the transfer is complete.
    void Update(std::int64_t current, std::int64_t total);
    // Ends the line if a bar was drawn but never reached 100% (a failed transfer).
    void Finish();

  private:
    void Draw(std::int64_t current, std::int64_t total);

    std::FILE* out_;
    bool terminal_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastDraw_{};
    bool drawn_ = false;
    bool done_ = false;
};

}  // namespace ftptool
