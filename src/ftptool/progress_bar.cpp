#include "ftptool/progress_bar.h"

#include <algorithm>

#include "ftptool/terminal.h"

namespace ftptool {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

struct Unit {
    const char* name;
    double size;
};

Unit UnitFor(std::int64_t total) {
    if (total >= (std::int64_t{1} << 30)) return {"GiB", 1024.0 * 1024.0 * 1024.0};
    if (total >= (std::int64_t{1} << 20)) return {"MiB", 1024.0 * 1024.0};
    if (total >= 1024) return {"KiB", 1024.0};
    return {"B", 1.0};
}

}  // namespace

std::string FormatProgress(std::int64_t current, std::int64_t total, int width) {
    current = std::clamp<std::int64_t>(current, 0, std::max<std::int64_t>(total, 0));
    const double fraction =
        total > 0 ? static_cast<double>(current) / static_cast<double>(total) : 1.0;
    const int filled = static_cast<int>(fraction * width);
    const int percent = static_cast<int>(fraction * 100.0);

    std::string line = "[";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(width - filled), '.');
    line += "]";

    const Unit unit = UnitFor(total);
    char numbers[96];
    if (unit.size == 1.0) {
        std::snprintf(numbers, sizeof numbers, " %3d%%  %lld/%lld %s", percent,
                      static_cast<long long>(current), static_cast<long long>(total), unit.name);
    } else {
        std::snprintf(numbers, sizeof numbers, " %3d%%  %.1f/%.1f %s", percent,
                      static_cast<double>(current) / unit.size,
                      static_cast<double>(total) / unit.size, unit.name);
    }
    return line + numbers;
}

std::string FormatRate(std::int64_t current, std::int64_t total, double seconds) {
    if (current <= 0 || seconds <= 0) return {};
    const double rate = static_cast<double>(current) / seconds;
    const Unit unit = UnitFor(static_cast<std::int64_t>(rate));
    const auto left = static_cast<long long>(
        static_cast<double>(std::max<std::int64_t>(total - current, 0)) / rate);
    char text[64];
    std::snprintf(text, sizeof text, "  %.1f %s/s  %lld:%02lld left", rate / unit.size, unit.name,
                  left / 60, left % 60);
    return text;
}

ProgressBar::ProgressBar(std::FILE* out) : out_(out), terminal_(IsTerminal(out)) {}

void ProgressBar::Update(std::int64_t current, std::int64_t total) {
    if (done_ || !terminal_) return;
    const bool complete = current >= total;
    const auto now = Clock::now();
    if (!complete && drawn_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    Draw(current, total);
    if (!complete) return;
    std::fputc('\n', out_);
    std::fflush(out_);
    done_ = true;
}

void ProgressBar::Finish() {
    if (!drawn_ || done_) return;
    std::fputc('\n', out_);
    std::fflush(out_);
    done_ = true;
}

void ProgressBar::Draw(std::int64_t current, std::int64_t total) {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    // Padding clears what a longer line before left behind.
    std::fprintf(out_, "\r%s%s   ", FormatProgress(current, total).c_str(),
                 FormatRate(current, total, seconds).c_str());
    std::fflush(out_);
    drawn_ = true;
}

}  // namespace ftptool
