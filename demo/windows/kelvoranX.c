/* The demo's product: a window that says it is the demo product. Given /smoke it only writes
   the marker file "kelvoranX-smoke.txt" beside itself and exits with 0, so that a script can
   tell that it started. */
#include <windows.h>
#include <shellapi.h> /* CommandLineToArgvW, which a lean windows.h leaves out */

static const wchar_t kTitle[] = L"kelvoran X (demonstração)";
static const wchar_t kText[] =
    L"Este é o produto de demonstração kelvoran X, instalado pelo instalador de demonstração.";

static int HasSmokeSwitch(void) {
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    int found = 0;
    for (int i = 1; arguments != NULL && i < count; ++i) {
        if (lstrcmpiW(arguments[i], L"/smoke") == 0) found = 1;
    }
    LocalFree(arguments);
    return found;
}

static int WriteSmokeMarker(void) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    wchar_t *slash = path;
    for (wchar_t *p = path; *p; ++p) {
        if (*p == L'\\') slash = p;
    }
    static const wchar_t kMarker[] = L"\\kelvoranX-smoke.txt";
    if ((size_t)(slash - path) + sizeof kMarker / sizeof kMarker[0] > MAX_PATH) return 1;
    lstrcpyW(slash, kMarker);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    static const char kLine[] = "kelvoranX demo product started with /smoke\r\n";
    DWORD written = 0;
    BOOL ok = WriteFile(file, kLine, sizeof kLine - 1, &written, NULL);
    CloseHandle(file);
    return ok && written == sizeof kLine - 1 ? 0 : 1;
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        InflateRect(&area, -16, -16);
        DrawTextW(dc, kText, -1, &area, DT_WORDBREAK);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
    (void)previous;
    (void)commandLine;
    if (HasSmokeSwitch()) return WriteSmokeMarker();

    WNDCLASSW windowClass = {0};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"KelvoranXDemo";
    if (!RegisterClassW(&windowClass)) return 1;
    HWND window = CreateWindowW(windowClass.lpszClassName, kTitle, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 480, 160, NULL, NULL, instance, NULL);
    if (window == NULL) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return (int)message.wParam;
}
