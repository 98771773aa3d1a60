/* A shared component of the demo: an in-process COM server that registers itself as real ones
   do, under HKCR\CLSID\{its CLSID}\InprocServer32 with its own path. One build serves every
   component name: the CLSID is made from the file's name (lower case), so that each name has a
   class of its own. regsvr32 calls DllRegisterServer and DllUnregisterServer. */
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601 /* RegDeleteTreeW */
#endif
#include <windows.h>
#include <olectl.h>

#include <wchar.h>

static HMODULE self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}

/* This library's full path in `path`, and its file name without the folder. */
static const wchar_t *OwnName(wchar_t *path, DWORD size) {
    DWORD length = GetModuleFileNameW(self, path, size);
    if (length == 0 || length >= size) return NULL;
    const wchar_t *name = path;
    for (const wchar_t *p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    return name;
}

/* "CLSID\{4B76726E-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" for a file name: the first group says "Kvrn",
   the rest is the 64-bit FNV-1a hash of the name in lower case. */
static void ClassKey(const wchar_t *name, wchar_t *key, size_t size) {
    unsigned long long hash = 14695981039346656037ULL;
    for (const wchar_t *p = name; *p; ++p) {
        wchar_t c = *p >= L'A' && *p <= L'Z' ? (wchar_t)(*p - L'A' + L'a') : *p;
        hash = (hash ^ (unsigned)c) * 1099511628211ULL;
    }
    swprintf(key, size, L"CLSID\\{4B76726E-%04X-%04X-%04X-%012llX}", (unsigned)(hash >> 48),
             (unsigned)((hash >> 32) & 0xFFFF), (unsigned)((hash >> 16) & 0xFFFF),
             hash & 0xFFFFFFFFFFFFULL);
}

static LONG SetText(HKEY key, const wchar_t *value, const wchar_t *text) {
    return RegSetValueExW(key, value, 0, REG_SZ, (const BYTE *)text,
                          (DWORD)((lstrlenW(text) + 1) * sizeof(wchar_t)));
}

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
    wchar_t path[MAX_PATH], key[96], server[128];
    const wchar_t *name = OwnName(path, MAX_PATH);
    if (name == NULL) return E_FAIL;
    ClassKey(name, key, 96);
    swprintf(server, 128, L"%ls\\InprocServer32", key);
    HKEY classKey, serverKey;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, NULL, 0, KEY_WRITE, NULL, &classKey, NULL) !=
        ERROR_SUCCESS) {
        return SELFREG_E_CLASS;
    }
    LONG result = SetText(classKey, NULL, name);
    RegCloseKey(classKey);
    if (result == ERROR_SUCCESS) {
        result = RegCreateKeyExW(HKEY_CLASSES_ROOT, server, 0, NULL, 0, KEY_WRITE, NULL,
                                 &serverKey, NULL);
    }
    if (result == ERROR_SUCCESS) {
        result = SetText(serverKey, NULL, path);
        if (result == ERROR_SUCCESS) result = SetText(serverKey, L"ThreadingModel", L"Apartment");
        RegCloseKey(serverKey);
    }
    return result == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
    wchar_t path[MAX_PATH], key[96];
    const wchar_t *name = OwnName(path, MAX_PATH);
    if (name == NULL) return E_FAIL;
    ClassKey(name, key, 96);
    LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}

/* The demo's classes make no objects: asked for one, the server says it has none. */
__declspec(dllexport) HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void **out) {
    (void)clsid;
    (void)iid;
    if (out != NULL) *out = NULL;
    return CLASS_E_CLASSNOTAVAILABLE;
}

__declspec(dllexport) HRESULT WINAPI DllCanUnloadNow(void) { return S_OK; }
