// The shell's automation objects used by the installer: "Scripting.FileSystemObject",
// "Shell.Application" (real folders and zip archives as folders) and "WScript.Shell" (desktop
// folder and shortcuts). Paths are Windows paths (platform/files). Failures are VbError.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/files/vb_error.h"

namespace shell {

// "Scripting.FileSystemObject"
class FileSystemObject {
  public:
    bool folderexists(const std::string& path) const;  // a folder (not a file) exists
    bool FileExists(const std::string& path) const;    // a file (not a folder) exists
};

class Folder;

// One top-level entry of a shell folder: a file or a sub-folder, of a real folder or of a zip
// archive.
class FolderItem {
  public:
    std::string Name;  // the entry's name
    bool IsFolder = false;
    const Folder* Parent = nullptr;
    std::string Path;  // inside the archive ("sub/") or the host path of a real entry
};

// A folder's top-level entries in the shell's order (archive order for a zip, names in order for
// a real folder).
class FolderItems {
  public:
    std::vector<FolderItem> entries;
    std::int32_t Count() const { return static_cast<std::int32_t>(entries.size()); }
    const FolderItem& Item(std::int32_t index) const { return entries.at(index); }
    auto begin() const { return entries.begin(); }
    auto end() const { return entries.end(); }
};

// A shell folder: a real folder, or a zip archive read as a folder.
class Folder {
  public:
    virtual ~Folder() = default;
    virtual FolderItems Items() const = 0;
    // Copies the given entries, sub-folders with their contents, into this folder. Zip entries
    // are checked (CRC) and written only inside this folder: an archive with an entry that would
    // land outside it (absolute name, "..", drive letter, link) is refused before anything is
    // written. Existing files are replaced.
    virtual void CopyHere(const FolderItems& items) = 0;
    // Raises the error that CopyHere(items) would raise before writing anything (an entry that
    // is unsafe or beyond the limits, more data declared than the target's file system holds),
    // and writes nothing: a caller can check an archive before it clears room for it.
    virtual void CheckCopy(const FolderItems& items) const = 0;
};

// Progress of a running CopyHere, as the shell's own copy window shows it: bytes done of the
// total and the name of the file being copied (as inside the archive or the source folder),
// called at most every few milliseconds and once with finished=true at the end.
using CopyProgressHandler = std::function<void(std::uint64_t done, std::uint64_t total,
                                               bool finished, const std::string& item)>;
void SetCopyProgressHandler(CopyProgressHandler handler);

// "Shell.Application"
class ShellApplication {
  public:
    // The folder object for a folder or a zip archive; nullptr when the path cannot be opened.
    std::unique_ptr<Folder> NameSpace(const std::string& path) const;
};

// A shortcut (.lnk) being prepared; Save writes it as a Shell Link file carrying exactly the
// properties set here.
class WshShortcut {
  public:
    explicit WshShortcut(std::string fullName) : FullName(std::move(fullName)) {}
    std::string FullName;
    std::string TargetPath;
    std::string HotKey;
    std::string Arguments;
    std::string WorkingDirectory;
    std::string Description;
    void Save() const;
};

// "WScript.Shell"
class WshShell {
  public:
    // "Desktop": the current user's desktop folder, C:\users\<user>\Desktop (created if missing).
    std::string SpecialFolders(const std::string& name) const;
    std::unique_ptr<WshShortcut> CreateShortcut(const std::string& path) const;
};

// The bytes of a Shell Link file for the given properties (used by Save, and by tests).
std::vector<std::uint8_t> BuildShellLink(const WshShortcut& shortcut);

// True when a zip entry name may be written under a target folder: relative, no "..", no drive
// letter, no NUL or control character, no component longer than 255 bytes and no more than 128
// components (used by CopyHere, and by the fuzz target).
bool IsSafeEntryName(const std::string& entryName);

}  // namespace shell
