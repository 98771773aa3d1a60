// The entries of a remote directory listing: ordered by insertion, keyed by file name without
// regard to letter case. Bad positions, unknown names and duplicate keys raise VbError.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ftp/cDirItem.h"

class cDirList {
  public:
    void Add(std::int32_t lAttrib, Date dtCreationTime, Date dtLastAccessTime, Date dtLastWriteTime,
             std::int32_t lFileSize, const std::string& sFilename);
    void Clear();
    // 1-based position: VbError 9 outside 1..Count.
    std::shared_ptr<cDirItem> Item(std::int32_t index) const;
    // By name without regard to case: VbError 5 for a name not in the list.
    std::shared_ptr<cDirItem> Item(const std::string& key) const;
    // A string literal is a name, not a position.
    std::shared_ptr<cDirItem> Item(const char* key) const { return Item(std::string(key)); }
    std::int32_t Count() const;

    // For-each support, in insertion order.
    using const_iterator = std::vector<std::shared_ptr<cDirItem>>::const_iterator;
    const_iterator begin() const { return mEntries.begin(); }
    const_iterator end() const { return mEntries.end(); }

  private:
    std::vector<std::shared_ptr<cDirItem>> mEntries;
    // Folded key -> position in mEntries, so lookups and duplicate checks stay cheap on long
    // listings.
    std::unordered_map<std::string, std::size_t> mKeys;
};
