// The Win32 backend's window and loop (under Wine on a virtual display): the window takes the
// form's client size and caption, the model's timers tick through the system's timer, and a
// click on a label reaches its click operation, whose End ends the loop with its exit code.
#include "platform/forms/win32/win32_backend.h"

#include <gtest/gtest.h>

#include "platform/forms/forms.h"
#include "platform/kernel/windows/windows_api.h"

namespace {

TEST(Win32Backend, WindowOfTheFormsSizeTimersTickAndClicksReachTheModel) {
    forms::Win32Backend backend;
    forms::Application app(backend);
    forms::Form form(app, "frmInstall");
    form.Caption = "Instalação";
    form.ScaleWidth = 480 * 15;
    form.ScaleHeight = 300 * 15;
    forms::Label link(&form, "lblBaixar");
    link.Move(100 * 15, 200 * 15, 80 * 15, 20 * 15);
    link.Caption = "Baixar";
    link.Click = [&] { app.End(7); };
    forms::Timer timer(&form, "tmrPasso");
    int ticks = 0;
    RECT client{};
    wchar_t caption[64] = {};
    timer.OnTimer = [&] {
        if (++ticks != 3) return;
        auto hwnd = static_cast<HWND>(backend.WindowOf(form));
        GetClientRect(hwnd, &client);
        GetWindowTextW(hwnd, caption, 64);
        PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(140, 210));
    };
    timer.Interval = 20;

    backend.Show(app, form);
    ASSERT_NE(backend.WindowOf(form), nullptr);
    EXPECT_EQ(backend.Exec(app), 7);
    EXPECT_GE(ticks, 3);
    EXPECT_EQ(client.right, 480);
    EXPECT_EQ(client.bottom, 300);
    EXPECT_STREQ(caption, L"Instalação");
}

}  // namespace
