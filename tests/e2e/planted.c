/* A program or library planted beside the installer under a system name (regsvr32.exe,
   wininet.dll): if it is ever run or loaded, it leaves "<its own path>.ran" beside itself. */
#include <windows.h>

static void Mark(HMODULE module) {
    WCHAR path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    lstrcatW(path, L".ran");
    HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
}

#ifdef PLANTED_LIBRARY
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) Mark(instance);
    return TRUE;
}
#else
int main(void) {
    Mark(NULL);
    return 0;
}
#endif
