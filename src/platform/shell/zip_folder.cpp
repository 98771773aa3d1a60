// Zip archives read as shell folders, and the check of entry names before anything is written.
#include <algorithm>
#include <set>
#include <vector>

#include "platform/files/files.h"
#include "platform/shell/folder_internal.h"

namespace shell {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::vector<std::string> SplitName(const std::string& name) {
    std::vector<std::string> parts;
    std::string part;
    for (const char c : name) {
        if (!IsSeparator(c)) {
            part += c;
            continue;
        }
        if (!part.empty()) parts.push_back(std::move(part));
        part.clear();
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

// A name fit to appear in a message: control characters shown as "?", and a very long name cut
// (at a character boundary) so that it cannot flood the status line.
std::string Printable(const std::string& name) {
    constexpr std::size_t kShown = 120;
    std::string out = name;
    if (out.size() > kShown) {
        std::size_t cut = kShown;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
        out += "...";
    }
    for (auto& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return out;
}

// Limits that no real product reaches and that keep a hostile archive's cost bounded: a name
// component as long as the file systems allow, a path no deeper than a Windows path of 260
// characters could be, and a central directory of a few tens of MiB.
constexpr std::size_t kMaxComponentBytes = 255;
constexpr std::size_t kMaxComponents = 128;
constexpr zip::ZipLimits kFolderLimits{100000, 64u << 20};

VbError Refusal(const std::string& why) {
    return VbError(vberr::PathFileAccess, "Path/File access error: " + why);
}

}  // namespace

bool IsSafeEntryName(const std::string& entryName) {
    if (entryName.empty() || IsSeparator(entryName[0])) return false;
    for (const char c : entryName) {
        const auto u = static_cast<unsigned char>(c);
        // ":" would name a drive ("C:x") or a stream; control characters have no place in names.
        if (u < 0x20 || u == 0x7f || c == ':') return false;
    }
    const auto parts = SplitName(entryName);
    if (parts.empty() || parts.size() > kMaxComponents) return false;
    for (const auto& part : parts) {
        if (part.size() > kMaxComponentBytes) return false;
        // Windows drops trailing dots and blanks, so "..." or ". ." would climb like "..".
        if (part.find_first_not_of(". ") == std::string::npos) return false;
    }
    return true;
}

namespace detail {

std::unique_ptr<ZipFolder> ZipFolder::Open(const std::filesystem::path& host) {
    zip::ZipError error = zip::ZipError::None;
    auto reader = zip::ZipReader::OpenFile(host, error, kFolderLimits);
    // An archive too large to list is refused outright; any other file that does not read as
    // an archive is simply not a folder.
    if (error == zip::ZipError::Limits) {
        throw Refusal("archive too large to list (over " + std::to_string(kFolderLimits.entries) +
                      " entries, a name over " + std::to_string(zip::kMaxNameLength) +
                      " bytes or a directory over " +
                      std::to_string(kFolderLimits.directorySize >> 20) + " MiB)");
    }
    if (reader == nullptr) return nullptr;
    auto folder = std::unique_ptr<ZipFolder>(new ZipFolder);
    const auto& entries = reader->Entries();
    folder->entries_.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        Entry entry;
        entry.index = i;
        entry.name = entries[i].name;
        entry.parts = SplitName(entry.name);
        entry.isFolder = entries[i].IsFolder();
        entry.isLink = entries[i].IsLink();
        entry.size = entries[i].size;
        folder->entries_.push_back(std::move(entry));
    }
    folder->reader_ = std::move(reader);
    return folder;
}

FolderItems ZipFolder::Items() const {
    FolderItems items;
    std::map<std::string, std::size_t> seen;
    for (const auto& entry : entries_) {
        if (entry.parts.empty()) continue;
        const bool folder = entry.parts.size() > 1 || entry.isFolder;
        const auto [it, inserted] = seen.emplace(entry.parts[0], items.entries.size());
        if (!inserted) {
            if (folder) {
                items.entries[it->second].IsFolder = true;
                items.entries[it->second].Path = entry.parts[0] + "/";
            }
            continue;
        }
        FolderItem item;
        item.Name = entry.parts[0];
        item.IsFolder = folder;
        item.Parent = this;
        item.Path = folder ? item.Name + "/" : item.Name;
        items.entries.push_back(std::move(item));
    }
    return items;
}

void ZipFolder::CheckCopy(const FolderItems&) const {
    throw Refusal("cannot copy into an archive");
}

void ZipFolder::CopyHere(const FolderItems& items) { CheckCopy(items); }

std::vector<const ZipFolder::Entry*> ZipFolder::Select(
    const std::vector<std::string>& topNames) const {
    const std::set<std::string> wanted(topNames.begin(), topNames.end());
    std::vector<const Entry*> selected;
    for (const auto& entry : entries_) {
        if (entry.parts.empty() || wanted.count(entry.parts[0]) == 0) continue;
        if (!IsSafeEntryName(entry.name))
            throw Refusal("unsafe name in archive: " + Printable(entry.name));
        if (entry.isLink) throw Refusal("link in archive: " + Printable(entry.name));
        if (!entry.isFolder &&
            zip::ZipReader::Readable(reader_->Entries()[entry.index]) != zip::ZipError::None) {
            throw Refusal("entry not supported in archive: " + Printable(entry.name));
        }
        selected.push_back(&entry);
    }
    return selected;
}

void ZipFolder::Extract(const std::vector<const Entry*>& entries, TargetTree& target,
                        Progress& progress) const {
    for (const Entry* entry : entries) {
        if (entry->isFolder) {
            target.MakeFolder(entry->parts, entry->parts.size());
            continue;
        }
        TargetTree::File out(target, entry->parts);
        progress.Start(entry->name);
        const zip::ZipError error = reader_->Read(reader_->Entries()[entry->index],
                                                  [&](const char* data, std::size_t size) {
                                                      out.Write(data, size);
                                                      progress.Add(size);
                                                  });
        if (error == zip::ZipError::Crc) {
            throw VbError(vberr::PathFileAccess, "CRC error in archive: " + Printable(entry->name));
        }
        if (error != zip::ZipError::None) {
            throw VbError(vberr::PathFileAccess, "Damaged archive: " + Printable(entry->name) +
                                                     " (" + zip::Describe(error) + ")");
        }
        out.Commit();
    }
}

}  // namespace detail
}  // namespace shell
