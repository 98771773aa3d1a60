// The find service: FtpFindFirstFileA lists a folder (MLSD where offered, LIST otherwise),
// keeps the entries that match the pattern, and InternetFindNextFileA walks them.
#include <cstring>
#include <ctime>

#include "platform/wininet/posix/internal.h"

namespace wininet::detail {
namespace {

constexpr std::size_t kMaxListing = 64 * 1024 * 1024;
// About 20 MiB of entries.
constexpr std::size_t kMaxEntries = 65536;

FILETIME ToFileTime(std::uint64_t ticks) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

WIN32_FIND_DATAA ToFindData(const ListEntry& e) {
    WIN32_FIND_DATAA d;
    d.dwFileAttributes = e.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    d.ftCreationTime = ToFileTime(e.created);
    d.ftLastAccessTime = ToFileTime(e.modified);
    d.ftLastWriteTime = ToFileTime(e.modified);
    d.nFileSizeHigh = static_cast<DWORD>(e.size >> 32);
    d.nFileSizeLow = static_cast<DWORD>(e.size & 0xFFFFFFFFu);
    std::memcpy(d.cFileName, e.name.data(), e.name.size());
    d.cFileName[e.name.size()] = '\0';
    return d;
}

// Splits "folder/pattern" (either slash) at its last separator.
void SplitPattern(const std::string& pattern, std::string& folder, std::string& rest) {
    std::size_t sep = pattern.find_last_of("/\\");
    if (sep == std::string::npos) {
        folder.clear();
        rest = pattern;
        return;
    }
    folder = sep == 0 ? "/" : pattern.substr(0, sep);
    for (char& ch : folder) {
        if (ch == '\\') ch = '/';
    }
    rest = pattern.substr(sep + 1);
}

// Keeps the entries of listing lines that match the pattern, line by line as the data comes,
// so that only the entries stay in memory, and no more of them than the bound.
class ListingReader {
  public:
    ListingReader(bool mlsd, const std::string& rest)
        : mlsd_(mlsd),
          rest_(rest),
          all_(rest.empty() || rest == "*" || rest == "*.*"),
          now_(static_cast<std::int64_t>(std::time(nullptr))) {}

    // False when the listing goes past its bounds.
    bool Feed(std::string_view bytes) {
        while (!bytes.empty()) {
            const std::size_t eol = bytes.find('\n');
            const std::size_t take = eol == std::string_view::npos ? bytes.size() : eol;
            if (line_.size() + take > kMaxLine) return false;
            line_.append(bytes.substr(0, take));
            if (eol == std::string_view::npos) break;
            bytes.remove_prefix(eol + 1);
            if (!TakeLine()) return false;
        }
        return true;
    }
    bool End() { return line_.empty() || TakeLine(); }
    std::vector<WIN32_FIND_DATAA> Entries() { return std::move(entries_); }

  private:
    static constexpr std::size_t kMaxLine = 64 * 1024;

    bool TakeLine() {
        std::string_view line(line_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        auto entry = mlsd_ ? ParseMlsdLine(line) : ParseListLine(line, now_);
        line_.clear();
        if (!entry || entry->name.size() >= MAX_PATH) return true;
        if (!all_ && !WildcardMatch(rest_, entry->name)) return true;
        if (entries_.size() >= kMaxEntries) return false;
        entries_.push_back(ToFindData(*entry));
        return true;
    }

    bool mlsd_;
    std::string rest_;
    bool all_;
    std::int64_t now_;
    std::string line_;
    std::vector<WIN32_FIND_DATAA> entries_;
};

// Runs one listing command and keeps the matching entries. The whole listing has one receive
// timeout, as one reply would.
DWORD FetchListing(const std::shared_ptr<Connection>& c, const std::string& command,
                   ListingReader& reader) {
    File f;
    f.connection = c;
    f.deadline.emplace(c->timeouts.receiveMs);
    if (DWORD e = OpenTransfer(*c, command, f.data)) return e;
    std::unique_ptr<char[]> chunk(new char[File::kBufferSize]);
    std::size_t total = 0;
    for (;;) {
        std::size_t got = 0;
        if (DWORD e = ReadData(f, chunk.get(), File::kBufferSize, got)) {
            FinishTransfer(f);
            return e;
        }
        if (got == 0) break;
        total += got;
        if (total > kMaxListing || !reader.Feed(std::string_view(chunk.get(), got))) {
            FinishTransfer(f);
            return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        }
    }
    if (DWORD e = FinishTransfer(f)) return e;
    return reader.End() ? 0 : ERROR_HTTP_INVALID_SERVER_RESPONSE;
}

}  // namespace

bool Find::OnClose() {
    if (connection->openFind == id) connection->openFind = 0;
    return true;
}

}  // namespace wininet::detail

using namespace wininet::detail;

HINTERNET FtpFindFirstFileA(HINTERNET hConnect, LPCSTR lpszSearchFile,
                            WIN32_FIND_DATAA* lpFindFileData, DWORD /*dwFlags*/,
                            DWORD_PTR /*dwContext*/) {
    if (lpszSearchFile != nullptr && !SafeName(lpszSearchFile)) {
        return Fail(ERROR_INVALID_PARAMETER, nullptr);
    }
    DWORD error = 0;
    auto c = ReadyConnection(hConnect, error);
    if (!c) return Fail(error, nullptr);
    if (c->openFind != 0) return Fail(ERROR_FTP_TRANSFER_IN_PROGRESS, nullptr);

    std::string folder, rest;
    SplitPattern(lpszSearchFile != nullptr ? lpszSearchFile : "", folder, rest);
    const std::string argument = folder.empty() ? "" : " " + folder;
    const bool mlsd = c->mlsd;
    ListingReader reader(mlsd, rest);
    DWORD e = FetchListing(c, (mlsd ? "MLSD" : "LIST") + argument, reader);
    if (e == ERROR_INTERNET_EXTENDED_ERROR && mlsd &&
        (LastResponseCode() == 500 || LastResponseCode() == 502)) {
        // FEAT promised MLSD but the server does not take it after all.
        c->mlsd = false;
        reader = ListingReader(false, rest);
        e = FetchListing(c, "LIST" + argument, reader);
    }
    if (e != 0) return Fail(e, nullptr);

    auto entries = reader.Entries();
    if (entries.empty()) return Fail(ERROR_NO_MORE_FILES, nullptr);
    auto find = std::make_shared<Find>();
    find->connection = c;
    find->entries = std::move(entries);
    find->next = 1;
    if (lpFindFileData != nullptr) *lpFindFileData = find->entries.front();
    HINTERNET handle = Register(find, c->id);
    c->openFind = IdOf(handle);
    return handle;
}

BOOL InternetFindNextFileA(HINTERNET hFind, LPVOID lpvFindData) {
    if (lpvFindData == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    auto object = Lookup(hFind);
    if (!object) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (object->kind != Kind::Find) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE, FALSE);
    Find& find = static_cast<Find&>(*object);
    if (find.next >= find.entries.size()) return Fail(ERROR_NO_MORE_FILES, FALSE);
    *static_cast<WIN32_FIND_DATAA*>(lpvFindData) = find.entries[find.next++];
    return TRUE;
}
