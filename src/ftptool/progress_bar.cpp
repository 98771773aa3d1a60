#include "ftptool/progress_bar.h"

#include <algorithm>

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

void ProgressBar::Update(std::int64_t current, std::int64_t total) {
    if (done_) return;
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
    std::fprintf(out_, "\r%s", FormatProgress(current, total).c_str());
    std::fflush(out_);
    drawn_ = true;
}

}  // namespace ftptool
