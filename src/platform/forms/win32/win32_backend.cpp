#include "platform/forms/win32/win32_backend.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "platform/forms/forms.h"
#include "platform/forms/input_queue.h"
#include "platform/forms/win32/gdi_painter.h"
#include "platform/kernel/windows/utf16.h"
#include "platform/kernel/windows/windows_api.h"

namespace forms {
namespace {

constexpr wchar_t kWindowClass[] = L"InstaladorForm";

DWORD StyleOf(const Form& form) {
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
    if (form.ControlBox) style |= WS_SYSMENU;
    if (form.MinButton) style |= WS_MINIMIZEBOX;
    if (form.MaxButton) style |= WS_MAXIMIZEBOX;
    return style;
}

// The outer rectangle of a window whose client area is the form's.
RECT OuterRect(const Form& form) {
    RECT r{0, 0, win32::ToPixels(form.ScaleWidth), win32::ToPixels(form.ScaleHeight)};
    AdjustWindowRectEx(&r, StyleOf(form), FALSE, 0);
    return r;
}

// Presses OK on a window of the thread when it is a message box (the system's dialog class
// "#32770"). A named CALLBACK function: a lambda has the wrong calling convention on 32 bits.
BOOL CALLBACK PressOkOnMessageBox(HWND hwnd, LPARAM) {
    wchar_t name[16] = {};
    GetClassNameW(hwnd, name, 16);
    if (std::wstring_view(name) == L"#32770") PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    return TRUE;
}

// A thread timer's procedure, run by the message box's own loop: answers the thread's message
// boxes.
void CALLBACK AnswerMessageBoxes(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), PressOkOnMessageBox, 0);
}

}  // namespace

struct Win32Backend::Impl {
    Application* app = nullptr;
    std::map<Form*, HWND> windows;
    InputQueue input;
    win32::GdiPainter painter;
    UINT_PTR timer = 0;
    int exitCode = 0;
    bool terminated = false;
    HCURSOR hand = nullptr;
    int answerAfterMs = 0;

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* impl = reinterpret_cast<Impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        Form* form = impl ? impl->FormOf(hwnd) : nullptr;
        if (form == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
        switch (message) {
            case WM_PAINT:
                impl->Paint(hwnd, *form);
                return 0;
            case WM_ERASEBKGND:
                return 1;  // the paint covers the whole client area
            case WM_LBUTTONUP:
                impl->input.Click(*form, LOWORD(lParam), HIWORD(lParam));
                return 0;
            case WM_CLOSE:
                impl->input.Close(*form);
                return 0;
            case WM_SETCURSOR:
                if (LOWORD(lParam) == HTCLIENT) {
                    impl->ApplyCursor(hwnd, *form);
                    return TRUE;
                }
                break;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    Form* FormOf(HWND hwnd) const {
        for (const auto& [form, window] : windows) {
            if (window == hwnd) return form;
        }
        return nullptr;
    }

    // Drawn into a bitmap first, so the window never shows a half-drawn state.
    void Paint(HWND hwnd, Form& form) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT client;
        GetClientRect(hwnd, &client);
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
        HGDIOBJ old = SelectObject(memory, bitmap);
        painter.Paint(memory, form);
        BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        EndPaint(hwnd, &ps);
    }

    void ApplyCursor(HWND hwnd, Form& form) {
        MousePointer pointer = app ? app->GetMousePointer() : MousePointer::Default;
        if (pointer == MousePointer::Default) {
            POINT p;
            GetCursorPos(&p);
            ScreenToClient(hwnd, &p);
            Control* under = form.HitTest((p.x + 0.5) * TwipsPerPixel, (p.y + 0.5) * TwipsPerPixel);
            pointer = (under ? under : &form)->Pointer;
        }
        if (pointer == MousePointer::Hourglass) {
            SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        } else if (pointer == MousePointer::Custom) {
            if (hand == nullptr) {
                hand = static_cast<HCURSOR>(LoadImageW(GetModuleHandleW(nullptr), L"HAND",
                                                       IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE));
            }
            SetCursor(hand ? hand : LoadCursorA(nullptr, IDC_HAND));
        } else {
            SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        }
    }

    void DeliverInput() {
        if (app) input.Deliver(*app);
    }

    // One system timer, set to the next model timer that is due; its message only wakes the loop.
    void ArmTimer() {
        const std::int64_t wait = app->MsUntilNextTimer();
        if (wait < 0) {
            if (timer != 0) KillTimer(nullptr, timer);
            timer = 0;
            return;
        }
        const UINT ms =
            static_cast<UINT>(std::clamp<std::int64_t>(wait, USER_TIMER_MINIMUM, 60000));
        timer = SetTimer(nullptr, timer, ms, nullptr);
    }

    void ApplyForm(Form& form, HWND hwnd) {
        SetWindowTextW(hwnd, kernel::Widen(form.Caption.get()).c_str());
        const RECT outer = OuterRect(form);
        SetWindowPos(hwnd, nullptr, win32::ToPixels(form.Left), win32::ToPixels(form.Top),
                     outer.right - outer.left, outer.bottom - outer.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
};

Win32Backend::Win32Backend() : impl_(std::make_unique<Impl>()) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &Impl::WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);  // fails harmlessly when a second backend registers it again
}

Win32Backend::~Win32Backend() {
    if (impl_->timer != 0) KillTimer(nullptr, impl_->timer);
    for (auto& [form, hwnd] : impl_->windows) DestroyWindow(hwnd);
}

void Win32Backend::Show(Application& app, Form& form) {
    impl_->app = &app;
    const RECT outer = OuterRect(form);
    HWND hwnd = CreateWindowExW(
        0, kWindowClass, kernel::Widen(form.Caption.get()).c_str(), StyleOf(form),
        win32::ToPixels(form.Left), win32::ToPixels(form.Top), outer.right - outer.left,
        outer.bottom - outer.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (hwnd == nullptr) return;
    impl_->windows[&form] = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl_.get()));
    if (!form.Icon.get().empty()) {
        if (HANDLE image =
                LoadImageW(GetModuleHandleW(nullptr), win32::ResourceName(form.Icon).c_str(),
                           IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)) {
            SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(image));
        }
    }
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
}

int Win32Backend::Exec(Application& app) {
    impl_->app = &app;
    while (!app.Ended() && !impl_->terminated) {
        impl_->ArmTimer();
        MSG msg;
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) break;
        do {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        } while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
        impl_->DeliverInput();
        app.RunDueTimers();
    }
    return impl_->exitCode;
}

void* Win32Backend::WindowOf(Form& form) {
    auto it = impl_->windows.find(&form);
    return it == impl_->windows.end() ? nullptr : it->second;
}

std::int64_t Win32Backend::NowMs() { return static_cast<std::int64_t>(GetTickCount64()); }

// The yield: the queued messages are handled (painting, input taken down), then the input
// reaches the model here, outside the window procedure's frames.
void Win32Backend::ProcessEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    impl_->DeliverInput();
}

void Win32Backend::MessageBox(const std::string& prompt, const std::string& title) {
    HWND owner = impl_->windows.empty() ? nullptr : impl_->windows.begin()->second;
    const UINT_PTR answer =
        impl_->answerAfterMs > 0
            ? SetTimer(nullptr, 0, static_cast<UINT>(impl_->answerAfterMs), AnswerMessageBoxes)
            : 0;
    ::MessageBoxW(owner, kernel::Widen(prompt).c_str(), kernel::Widen(title).c_str(), MB_OK);
    if (answer != 0) KillTimer(nullptr, answer);
}

void Win32Backend::AnswerMessageBoxesAfter(int ms) { impl_->answerAfterMs = ms; }

double Win32Backend::ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN) * TwipsPerPixel; }

double Win32Backend::ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN) * TwipsPerPixel; }

double Win32Backend::FrameExtraWidth() {
    RECT r{0, 0, 0, 0};
    AdjustWindowRectEx(&r, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, FALSE, 0);
    return (r.right - r.left) * TwipsPerPixel;
}

double Win32Backend::FrameExtraHeight() {
    RECT r{0, 0, 0, 0};
    AdjustWindowRectEx(&r, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, FALSE, 0);
    return (r.bottom - r.top) * TwipsPerPixel;
}

void Win32Backend::Terminate(int exitCode) {
    impl_->exitCode = exitCode;
    impl_->terminated = true;
    for (auto& [form, hwnd] : impl_->windows) ShowWindow(hwnd, SW_HIDE);
}

void Win32Backend::Invalidate(Control& control) {
    Form* form = control.kind == Kind::Form ? static_cast<Form*>(&control) : control.ParentForm();
    auto it = form ? impl_->windows.find(form) : impl_->windows.end();
    if (it == impl_->windows.end()) return;
    if (&control == form) impl_->ApplyForm(*form, it->second);
    InvalidateRect(it->second, nullptr, FALSE);
}

void Win32Backend::PointerChanged(MousePointer) {
    for (auto& [form, hwnd] : impl_->windows) {
        POINT p;
        GetCursorPos(&p);
        if (WindowFromPoint(p) == hwnd) impl_->ApplyCursor(hwnd, *form);
    }
}

}  // namespace forms
