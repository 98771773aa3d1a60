// Zip archives read as shell folders, and the check of entry names before anything is written.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
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

constexpr std::size_t kChunk = 1 << 20;

// Limits that no real product reaches and that keep a hostile archive's cost bounded: a name
// component as long as the file systems allow, a path no deeper than a Windows path of 260
// characters could be, and a central directory that libzip can hold in a few tens of MiB.
constexpr std::size_t kMaxComponentBytes = 255;
constexpr std::size_t kMaxComponents = 128;
constexpr std::uint64_t kMaxEntries = 100000;
constexpr std::uint64_t kMaxDirectoryBytes = 64u << 20;

std::uint64_t Little(const unsigned char* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
    return value;
}

// The entry count and central directory size that the archive's end record declares, read
// before libzip loads the whole directory; false when no end record is found (libzip then
// refuses the file itself).
bool DeclaredDirectory(const std::filesystem::path& host, std::uint64_t& entries,
                       std::uint64_t& bytes) {
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(host.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return false;
    const long size = std::ftell(file.get());
    constexpr long kEndRecord = 22, kLocator = 20, kTail = kEndRecord + 0xFFFF + kLocator;
    if (size < kEndRecord) return false;
    const long start = std::max(0L, size - kTail);
    std::vector<unsigned char> tail(static_cast<std::size_t>(size - start));
    if (std::fseek(file.get(), start, SEEK_SET) != 0 ||
        std::fread(tail.data(), 1, tail.size(), file.get()) != tail.size())
        return false;
    for (long at = static_cast<long>(tail.size()) - kEndRecord; at >= 0; --at) {
        const unsigned char* end = tail.data() + at;
        if (Little(end, 4) != 0x06054b50) continue;
        entries = Little(end + 10, 2);
        bytes = Little(end + 12, 4);
        // A Zip64 archive keeps the real figures in a record that the locator points to.
        if (at >= kLocator && Little(end - kLocator, 4) == 0x07064b50) {
            const std::uint64_t offset = Little(end - kLocator + 8, 8);
            unsigned char record[56];
            if (offset > static_cast<std::uint64_t>(size) ||
                std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0 ||
                std::fread(record, 1, sizeof record, file.get()) != sizeof record ||
                Little(record, 4) != 0x06064b50)
                return false;
            entries = Little(record + 32, 8);
            bytes = Little(record + 40, 8);
        }
        return true;
    }
    return false;
}

VbError Refusal(const std::string& why) {
    return VbError(vberr::PathFileAccess, "Path/File access error: " + why);
}

void CheckDirectorySize(std::uint64_t entries, std::uint64_t bytes) {
    if (entries <= kMaxEntries && bytes <= kMaxDirectoryBytes) return;
    throw Refusal("archive too large to list (" + std::to_string(entries) + " entries, at most " +
                  std::to_string(kMaxEntries) + ")");
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
    std::uint64_t declared = 0, directoryBytes = 0;
    if (DeclaredDirectory(host, declared, directoryBytes))
        CheckDirectorySize(declared, directoryBytes);
    int error = 0;
    zip_t* archive = zip_open(host.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr) return nullptr;
    auto folder = std::unique_ptr<ZipFolder>(new ZipFolder);
    folder->archive_.reset(archive);
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0) return nullptr;
    CheckDirectorySize(static_cast<std::uint64_t>(count), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive, index, 0, &st) != 0 || (st.valid & ZIP_STAT_NAME) == 0) {
            continue;
        }
        Entry entry;
        entry.index = index;
        entry.name = st.name;
        entry.parts = SplitName(entry.name);
        entry.isFolder = !entry.name.empty() && IsSeparator(entry.name.back());
        entry.size = (st.valid & ZIP_STAT_SIZE) != 0 ? st.size : 0;
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) == 0 &&
            system == ZIP_OPSYS_UNIX) {
            entry.isLink = ((attributes >> 16) & S_IFMT) == S_IFLNK;
        }
        folder->entries_.push_back(std::move(entry));
    }
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
        selected.push_back(&entry);
    }
    return selected;
}

void ZipFolder::Extract(const std::vector<const Entry*>& entries, TargetTree& target,
                        Progress& progress) const {
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (const Entry* entry : entries) {
        if (entry->isFolder) {
            target.OpenFolder(entry->parts, entry->parts.size());
            continue;
        }
        auto damaged = [&](zip_error_t* error) {
            const bool crc = error != nullptr && zip_error_code_zip(error) == ZIP_ER_CRC;
            return VbError(vberr::PathFileAccess,
                           std::string(crc ? "CRC error in archive: " : "Damaged archive: ") +
                               Printable(entry->name) +
                               (crc || error == nullptr
                                    ? ""
                                    : std::string(" (") + zip_error_strerror(error) + ")"));
        };
        zip_file_t* raw = zip_fopen_index(archive_.get(), entry->index, 0);
        if (raw == nullptr) throw damaged(zip_get_error(archive_.get()));
        const std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> in(raw, zip_fclose);

        const int folder = target.OpenFolder(entry->parts, entry->parts.size() - 1);
        TargetTree::File out(target, folder, entry->parts.back());
        progress.Start(entry->name);
        zip_uint64_t total = 0;
        for (;;) {
            const zip_int64_t got = zip_fread(in.get(), buffer.get(), kChunk);
            if (got < 0) throw damaged(zip_file_get_error(in.get()));
            if (got == 0) break;
            total += static_cast<zip_uint64_t>(got);
            // More data than the entry declares is a damaged (or hostile) entry: stop at once.
            if (total > entry->size) throw damaged(nullptr);
            out.Write(buffer.get(), static_cast<std::size_t>(got));
            progress.Add(static_cast<std::uint64_t>(got));
        }
        if (total != entry->size) throw damaged(nullptr);
        out.Commit();
    }
}

}  // namespace detail
}  // namespace shell
