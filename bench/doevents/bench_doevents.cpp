// Measures the yield (Application::DoEvents) on the Qt backend. A transfer yields twice per
// 255-byte chunk (the client after the chunk, the progress display after its event), so the
// cost per call decides how much of a download the window's event handling eats.
//
// Usage: bench_doevents [calls]   (default 2000000; runs on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise)
#include <QByteArray>
#include <QtGlobal>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/forms/forms.h"
#include "platform/forms/qt/qt_backend.h"

namespace {

// A window with one progress bar: a track and its fill.
struct BarForm : forms::Form {
    explicit BarForm(forms::Application& app) : Form(app, "frmBench") {
        ScaleWidth = 3000;
        ScaleHeight = 1500;
        track.Move(300, 600, 2400, 135);
        track.BorderStyle = 0;
        fill.Move(0, 0, 0, 255);
        fill.BorderStyle = 0;
        fill.BackColor = forms::RGB(46, 117, 182);
    }
    forms::PictureBox track{this, "track"};
    forms::PictureBox fill{&track, "fill"};
};

using Clock = std::chrono::steady_clock;

double NsPerCall(Clock::time_point from, Clock::time_point to, std::int64_t calls) {
    return std::chrono::duration<double, std::nano>(to - from).count() / double(calls);
}

}  // namespace

int main(int argc, char** argv) {
    std::int64_t calls = 2'000'000;
    if (argc > 1) {
        calls = std::strtoll(argv[1], nullptr, 10);
        if (calls <= 0) {
            std::fprintf(stderr, "usage: %s [calls]\n", argv[0]);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    forms::QtBackend backend(argc, argv);
    forms::Application app(backend);
    BarForm form(app);
    backend.Show(app, form);
    backend.ProcessEvents();

    const auto t0 = Clock::now();
    for (std::int64_t i = 0; i < calls; ++i) app.DoEvents();
    const auto t1 = Clock::now();
    // As during a transfer: the fill grows, the client yields, the progress display yields.
    const double trackWidth = form.track.Width;
    for (std::int64_t i = 0; i < calls; ++i) {
        form.fill.Width = double(i % std::int64_t(trackWidth));
        app.DoEvents();
        app.DoEvents();
    }
    const auto t2 = Clock::now();

    const double idle = NsPerCall(t0, t1, calls);
    const double chunk = NsPerCall(t1, t2, calls);
    // A 256 MiB download in 255-byte chunks.
    const double chunks256MiB = 256.0 * 1024 * 1024 / 255;
    std::printf("platform: %s\n", qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("DoEvents, nothing pending:        %10.1f ns/call  (%lld calls)\n", idle,
                static_cast<long long>(calls));
    std::printf("fill change + 2 DoEvents (chunk): %10.1f ns/chunk (%lld chunks)\n", chunk,
                static_cast<long long>(calls));
    std::printf("window overhead of a 256 MiB download: %.2f s\n", chunk * chunks256MiB / 1e9);
    return 0;
}
