#include "ftp/cDirList.h"

#include "platform/files/files.h"
#include "platform/files/vb_error.h"
#include "platform/kernel/wintypes.h"

namespace {

bool HasBit(std::int32_t lAttrib, DWORD bit) { return (static_cast<DWORD>(lAttrib) & bit) != 0; }

}  // namespace

void cDirList::Add(std::int32_t lAttrib, Date dtCreationTime, Date dtLastAccessTime,
                   Date dtLastWriteTime, std::int32_t lFileSize, const std::string& sFilename) {
    auto item = std::make_shared<cDirItem>();
    item->Archive = HasBit(lAttrib, FILE_ATTRIBUTE_ARCHIVE);
    item->Compressed = HasBit(lAttrib, FILE_ATTRIBUTE_COMPRESSED);
    item->Directory = HasBit(lAttrib, FILE_ATTRIBUTE_DIRECTORY);
    item->Hidden = HasBit(lAttrib, FILE_ATTRIBUTE_HIDDEN);
    item->Normal = HasBit(lAttrib, FILE_ATTRIBUTE_NORMAL);
    item->Offline = HasBit(lAttrib, FILE_ATTRIBUTE_OFFLINE);
    item->ReadOnly = HasBit(lAttrib, FILE_ATTRIBUTE_READONLY);
    item->System = HasBit(lAttrib, FILE_ATTRIBUTE_SYSTEM);
    item->Temporary = HasBit(lAttrib, FILE_ATTRIBUTE_TEMPORARY);
    item->CreationTime = dtCreationTime;
    item->LastAccessTime = dtLastAccessTime;
    item->LastWriteTime = dtLastWriteTime;
    item->FileSize = lFileSize;
    item->Filename = sFilename;

    const auto [slot, inserted] = mKeys.emplace(files::FoldCase(sFilename), mEntries.size());
    if (!inserted) throw vberr::Make(vberr::KeyAlreadyExists);
    mEntries.push_back(std::move(item));
}

void cDirList::Clear() {
    mEntries.clear();
    mKeys.clear();
}

std::shared_ptr<cDirItem> cDirList::Item(std::int32_t index) const {
    if (index < 1 || index > Count()) throw vberr::Make(vberr::SubscriptOutOfRange);
    return mEntries[static_cast<std::size_t>(index - 1)];
}

std::shared_ptr<cDirItem> cDirList::Item(const std::string& key) const {
    const auto found = mKeys.find(files::FoldCase(key));
    if (found == mKeys.end()) throw vberr::Make(vberr::InvalidProcedureCall);
    return mEntries[found->second];
}

std::int32_t cDirList::Count() const { return static_cast<std::int32_t>(mEntries.size()); }
