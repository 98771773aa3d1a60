// "WScript.Shell" on Windows: the desktop folder as the system knows it, and shortcuts saved by
// the system's own Shell Link object.
#include "platform/kernel/windows/windows_api.h"
// After <windows.h>:
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <memory>

#include "platform/files/files.h"
#include "platform/kernel/windows/utf16.h"
#include "platform/shell/folder_internal.h"
#include "platform/shell/hot_key.h"

namespace shell {
namespace {

// COM for the calling thread while the object lives. A thread that already runs another
// apartment keeps it; the Shell Link object works in either.
class ComScope {
  public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    HRESULT result_;
};

struct Releaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename T>
using ComPtr = std::unique_ptr<T, Releaser>;

// The error of a failed call: the runtime's "Path not found" when the shortcut's folder is
// missing, else the writer's error for the system's code.
[[noreturn]] void Fail(HRESULT result, const std::string& name) {
    if (HRESULT_FACILITY(result) == FACILITY_WIN32) {
        const DWORD code = HRESULT_CODE(result);
        if (code == ERROR_PATH_NOT_FOUND) throw vberr::Make(vberr::PathNotFound);
        throw detail::WriteError(static_cast<int>(code), name);
    }
    throw VbError(vberr::PathFileAccess, "Path/File access error: " + name);
}

void Check(HRESULT result, const std::string& name) {
    if (FAILED(result)) Fail(result, name);
}

}  // namespace

void WshShortcut::Save() const {
    const WORD hotKey = detail::ParseHotKey(HotKey);  // a bad text fails before any file
    const std::wstring file = files::ToHostPath(FullName).native();
    const std::string name = detail::Utf8(std::filesystem::path(file).filename());
    ComScope com;
    IShellLinkW* rawLink = nullptr;
    Check(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                           reinterpret_cast<void**>(&rawLink)),
          name);
    const ComPtr<IShellLinkW> link(rawLink);
    if (!TargetPath.empty()) Check(link->SetPath(kernel::Widen(TargetPath).c_str()), name);
    Check(link->SetArguments(kernel::Widen(Arguments).c_str()), name);
    Check(link->SetWorkingDirectory(kernel::Widen(WorkingDirectory).c_str()), name);
    Check(link->SetDescription(kernel::Widen(Description).c_str()), name);
    Check(link->SetHotkey(hotKey), name);
    Check(link->SetShowCmd(SW_SHOWNORMAL), name);
    IPersistFile* rawFile = nullptr;
    Check(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&rawFile)), name);
    const ComPtr<IPersistFile> persist(rawFile);
    Check(persist->Save(file.c_str(), TRUE), name);
}

std::string WshShell::SpecialFolders(const std::string& name) const {
    if (files::FoldCase(name) != "desktop") return "";
    PWSTR path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_Desktop, KF_FLAG_CREATE, nullptr, &path);
    const std::string desktop = SUCCEEDED(result) ? kernel::Narrow(path) : "";
    CoTaskMemFree(path);
    return desktop;
}

}  // namespace shell
