// What keeps code that runs with administrator's rights out of other users' reach: a folder that
// only administrators and the system may change, and libraries loaded from the system's folder
// only. On Linux, where the installer runs as its user in the user's own Wine prefix, the folder
// loses the write bits of group and others, and symbolic links on the way are refused.
#pragma once

#include <memory>
#include <string>

namespace security {

// Makes the library search of the process the system folder only, so that a library lying
// beside the program is never loaded in place of the system's. Called first thing at entry;
// libraries loaded later (delay-loaded ones too) follow it. Nothing to do on Linux.
void LoadLibrariesFromSystemFolderOnly();

// An existing folder where the program puts what it runs as administrator.
class AdminFolder {
  public:
    AdminFolder();
    ~AdminFolder();
    AdminFolder(AdminFolder&&) noexcept;
    AdminFolder& operator=(AdminFolder&&) noexcept;

    // On Windows: refuses the folder when it, or any folder on its way below the drive, is a
    // reparse point (a junction or a link); else makes Administrators its owner and gives it a
    // DACL of its own, inherited by what it holds: Administrators and SYSTEM full control, Users
    // read and execute. The folders on the way stay open, without sharing deletion, while the
    // object lives, so that none of them can be renamed or replaced meanwhile. On Linux: refuses
    // a symbolic link on the way and a folder owned by another user (root takes it over), and
    // takes away the write bits of group and others.
    // Returns "" when the folder is safe to use, else the text for the user, in Portuguese.
    std::string Secure(const std::string& windowsFolder);

  private:
    struct Held;
    std::unique_ptr<Held> held_;
};

// The text for a folder on the way that is a link to elsewhere.
std::string LinkRefusedText(const std::string& windowsFolder);

}  // namespace security
