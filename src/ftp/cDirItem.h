// One entry of a remote directory listing.
#pragma once

#include <cstdint>
#include <string>

// Dates count days since 1899-12-30 00:00, the time of day as the fraction.
using Date = double;

class cDirItem {
  public:
    bool ReadOnly = false;
    bool Hidden = false;
    bool System = false;
    bool Directory = false;
    bool Archive = false;
    bool Normal = false;
    bool Temporary = false;
    bool Compressed = false;
    bool Offline = false;
    Date CreationTime = 0;
    Date LastAccessTime = 0;
    Date LastWriteTime = 0;
    std::int32_t FileSize = 0;
    std::string Filename;
};
