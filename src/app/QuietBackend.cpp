#include "app/QuietBackend.h"

#include <algorithm>
#include <thread>

namespace app {

QuietBackend::QuietBackend() : start_(std::chrono::steady_clock::now()) {}

std::int64_t QuietBackend::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start_)
        .count();
}

void QuietBackend::Terminate(int exitCode) {
    terminated_ = true;
    exitCode_ = exitCode;
}

int QuietBackend::Run(forms::Application& app) {
    while (!terminated_ && !app.Ended()) {
        const std::int64_t wait = app.MsUntilNextTimer();
        if (wait < 0) return -1;
        if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        app.RunDueTimers();
    }
    return exitCode_;
}

}  // namespace app
