/* A shared component of the demo: a library that registers itself under a key of the demo's
   own, named after the file it was loaded from, so that one build serves every component name.
   regsvr32 calls DllRegisterServer and DllUnregisterServer. */
#include <windows.h>

#define COMPONENTS_KEY L"Software\\Quorimetra\\Demo\\Components"

static HMODULE self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}

/* The file name of this library, without its folder: "COMDLG32.OCX". */
static const wchar_t *OwnName(wchar_t *buffer, DWORD size) {
    DWORD length = GetModuleFileNameW(self, buffer, size);
    if (length == 0 || length >= size) return NULL;
    const wchar_t *name = buffer;
    for (const wchar_t *p = buffer; *p; ++p) {
        if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    return name;
}

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
    wchar_t path[MAX_PATH];
    const wchar_t *name = OwnName(path, MAX_PATH);
    if (name == NULL) return E_FAIL;
    HKEY components, key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, COMPONENTS_KEY, 0, NULL, 0, KEY_WRITE, NULL,
                        &components, NULL) != ERROR_SUCCESS) {
        return E_FAIL;
    }
    LONG result = RegCreateKeyExW(components, name, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(key, L"Caminho", 0, REG_SZ, (const BYTE *)path,
                                (DWORD)((lstrlenW(path) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    RegCloseKey(components);
    return result == ERROR_SUCCESS ? S_OK : E_FAIL;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
    wchar_t path[MAX_PATH];
    const wchar_t *name = OwnName(path, MAX_PATH);
    if (name == NULL) return E_FAIL;
    HKEY components;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, COMPONENTS_KEY, 0, KEY_WRITE, &components) !=
        ERROR_SUCCESS) {
        return S_OK; /* nothing was registered */
    }
    LONG result = RegDeleteKeyW(components, name);
    RegCloseKey(components);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? S_OK : E_FAIL;
}
