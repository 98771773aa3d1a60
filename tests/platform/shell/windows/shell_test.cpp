// The shell layer on the system itself (run under Wine): archives extracted through the wide
// file functions, shortcuts saved by the Shell Link object and read back through it, and the
// desktop folder.
#include <gtest/gtest.h>

#include "platform/kernel/windows/windows_api.h"
// After <windows.h>:
#include <objbase.h>
#include <shobjidl.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "platform/kernel/windows/utf16.h"
#include "platform/shell/shell.h"
#include "support/windows_folder.h"
#include "support/zip_bytes.h"

namespace {

namespace fs = std::filesystem;
using testsupport::WindowsFolder;

void WriteArchive(const WindowsFolder& folder, const std::string& name,
                  const std::vector<testzip::RawEntry>& entries) {
    const testzip::Bytes bytes = testzip::Build(entries).bytes;
    folder.Write(name, std::string(bytes.begin(), bytes.end()));
}

// Extracts the whole archive into a folder, as the installer does; the error number, or 0.
int ExtractAll(const std::string& archive, const std::string& target) {
    shell::ShellApplication app;
    auto zip = app.NameSpace(archive);
    auto folder = app.NameSpace(target);
    if (zip == nullptr || folder == nullptr) return -1;
    try {
        folder->CopyHere(zip->Items());
    } catch (const VbError& e) {
        return e.Number;
    }
    return 0;
}

// Everything under a folder, as relative UTF-8 paths with "/".
std::vector<std::string> Under(const fs::path& root) {
    std::vector<std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string name = kernel::Narrow(fs::relative(entry.path(), root).generic_wstring());
        out.push_back(name + (entry.is_directory() ? "/" : ""));
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(WindowsShell, ArchiveWithFoldersAndAccentedNamesIsExtracted) {
    WindowsFolder folder;
    const std::string big(300000, 'b');
    WriteArchive(folder, "pacote.zip",
                 {{"Instalação/leia-me.txt", "olá"},
                  {"bin/deep/tool.exe", big},
                  {"raiz.txt", "novo", false}});
    fs::create_directories(folder.Host("destino/BIN"));
    folder.Write("destino/raiz.txt", "antigo");

    ASSERT_EQ(ExtractAll(folder.Path("pacote.zip"), folder.Path("destino")), 0);
    // The existing folder is taken whatever its case, the existing file replaced, and no
    // temporary file is left.
    EXPECT_EQ(Under(folder.Host("destino")),
              (std::vector<std::string>{"BIN/", "BIN/deep/", "BIN/deep/tool.exe", "Instalação/",
                                        "Instalação/leia-me.txt", "raiz.txt"}));
    EXPECT_EQ(folder.Read("destino/Instalação/leia-me.txt"), "olá");
    EXPECT_EQ(folder.Read("destino/bin/deep/tool.exe"), big);
    EXPECT_EQ(folder.Read("destino/raiz.txt"), "novo");
}

TEST(WindowsShell, EntryThatClimbsOutIsRefusedWithNothingWritten) {
    WindowsFolder folder;
    fs::create_directories(folder.Host("destino"));
    for (const char* name : {"..\\fora.txt", "sub/../../fora.txt", "C:\\fora.txt"}) {
        SCOPED_TRACE(name);
        WriteArchive(folder, "mau.zip", {{"primeiro.txt", "x"}, {name, "evil"}});
        EXPECT_EQ(ExtractAll(folder.Path("mau.zip"), folder.Path("destino")), 75);
        EXPECT_EQ(Under(folder.Host("")), (std::vector<std::string>{"destino/", "mau.zip"}));
    }
}

TEST(WindowsShell, FolderLinkInTheTargetIsNotWrittenThrough) {
    WindowsFolder folder;
    fs::create_directories(folder.Host("destino"));
    fs::create_directories(folder.Host("fora"));
    const std::wstring link = folder.Host("destino/dir").native();
    // Wine 8 answers TRUE and makes nothing: only a link that is there is tried.
    CreateSymbolicLinkW(link.c_str(), folder.Host("fora").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    const DWORD attributes = GetFileAttributesW(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        GTEST_SKIP() << "no symbolic links on this system";
    }
    WriteArchive(folder, "a.zip", {{"dir/vitima.txt", "evil"}});
    EXPECT_EQ(ExtractAll(folder.Path("a.zip"), folder.Path("destino")), 75);
    EXPECT_TRUE(fs::is_empty(folder.Host("fora")));
}

// What a saved shortcut holds, read through the system's Shell Link object.
struct LinkFields {
    std::string target, arguments, workingDirectory, description;
    WORD hotKey = 0;
};

LinkFields ReadLink(const std::string& file) {
    LinkFields fields;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
        SUCCEEDED(persist->Load(kernel::Widen(file).c_str(), STGM_READ))) {
        wchar_t text[INFOTIPSIZE];
        if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) {
            fields.target = kernel::Narrow(text);
        }
        if (SUCCEEDED(link->GetArguments(text, INFOTIPSIZE)))
            fields.arguments = kernel::Narrow(text);
        if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) {
            fields.workingDirectory = kernel::Narrow(text);
        }
        if (SUCCEEDED(link->GetDescription(text, INFOTIPSIZE))) {
            fields.description = kernel::Narrow(text);
        }
        link->GetHotkey(&fields.hotKey);
    }
    if (persist != nullptr) persist->Release();
    if (link != nullptr) link->Release();
    if (SUCCEEDED(com)) CoUninitialize();
    return fields;
}

TEST(WindowsShell, ShortcutIsSavedAndReadsBackThroughTheShellLink) {
    WindowsFolder folder;
    folder.Write("Kelvoran X.exe", "MZ");
    shell::WshShell wsh;
    auto shortcut = wsh.CreateShortcut(folder.Path("Atalho çà.lnk"));
    shortcut->TargetPath = folder.Path("Kelvoran X.exe");
    shortcut->Arguments = "/empresa \"Ação 1\"";
    shortcut->WorkingDirectory = folder.Path();
    shortcut->Description = "Gestão de estoque";
    shortcut->HotKey = "CTRL+ALT+K";
    shortcut->Save();

    const LinkFields fields = ReadLink(folder.Path("Atalho çà.lnk"));
    EXPECT_EQ(files::FoldCase(fields.target), files::FoldCase(folder.Path("Kelvoran X.exe")));
    EXPECT_EQ(fields.arguments, "/empresa \"Ação 1\"");
    EXPECT_EQ(files::FoldCase(fields.workingDirectory), files::FoldCase(folder.Path()));
    EXPECT_EQ(fields.description, "Gestão de estoque");
    EXPECT_EQ(fields.hotKey, MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT));
}

TEST(WindowsShell, ShortcutIntoAMissingFolderIsPathNotFound) {
    WindowsFolder folder;
    shell::WshShortcut shortcut(folder.Path("falta\\x.lnk"));
    shortcut.TargetPath = folder.Path("x.exe");
    try {
        shortcut.Save();
        ADD_FAILURE() << "saved";
    } catch (const VbError& e) {
        EXPECT_EQ(e.Number, 76);
    }
    EXPECT_FALSE(fs::exists(folder.Host("falta")));
}

TEST(WindowsShell, DesktopIsAnExistingFolder) {
    shell::WshShell wsh;
    const std::string desktop = wsh.SpecialFolders("Desktop");
    ASSERT_NE(desktop, "");
    EXPECT_TRUE(shell::FileSystemObject().folderexists(desktop)) << desktop;
    EXPECT_EQ(wsh.SpecialFolders("Favoritos"), "");
}

}  // namespace
