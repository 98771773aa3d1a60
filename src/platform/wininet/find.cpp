// The find service: FtpFindFirstFileA lists a folder (MLSD where offered, LIST otherwise),
// keeps the entries that match the pattern, and InternetFindNextFileA walks them.
#include <cstring>
#include <ctime>

#include "platform/wininet/internal.h"

namespace wininet::detail {
namespace {

constexpr std::size_t kMaxListing = 64 * 1024 * 1024;

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

// Runs one listing command and returns its data.
DWORD FetchListing(const std::shared_ptr<Connection>& c, const std::string& command,
                   std::string& listing) {
    File f;
    f.connection = c;
    if (DWORD e = OpenTransfer(*c, command, f.data)) return e;
    std::unique_ptr<char[]> chunk(new char[File::kBufferSize]);
    for (;;) {
        std::size_t got = 0;
        if (DWORD e = ReadData(f, chunk.get(), File::kBufferSize, got)) {
            FinishTransfer(f);
            return e;
        }
        if (got == 0) break;
        if (listing.size() + got > kMaxListing) {
            FinishTransfer(f);
            return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        }
        listing.append(chunk.get(), got);
    }
    return FinishTransfer(f);
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

std::vector<WIN32_FIND_DATAA> Matching(const std::string& listing, bool mlsd,
                                       const std::string& rest) {
    const bool all = rest.empty() || rest == "*" || rest == "*.*";
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    std::vector<WIN32_FIND_DATAA> entries;
    std::size_t pos = 0;
    while (pos < listing.size()) {
        std::size_t eol = listing.find('\n', pos);
        if (eol == std::string::npos) eol = listing.size();
        std::string_view line(listing.data() + pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        auto entry = mlsd ? ParseMlsdLine(line) : ParseListLine(line, now);
        if (!entry || entry->name.size() >= MAX_PATH) continue;
        if (!all && !WildcardMatch(rest, entry->name)) continue;
        entries.push_back(ToFindData(*entry));
    }
    return entries;
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
    std::string listing;
    bool mlsd = c->mlsd;
    DWORD e = FetchListing(c, (mlsd ? "MLSD" : "LIST") + argument, listing);
    if (e == ERROR_INTERNET_EXTENDED_ERROR && mlsd &&
        (LastResponseCode() == 500 || LastResponseCode() == 502)) {
        // FEAT promised MLSD but the server does not take it after all.
        c->mlsd = mlsd = false;
        listing.clear();
        e = FetchListing(c, "LIST" + argument, listing);
    }
    if (e != 0) return Fail(e, nullptr);

    auto entries = Matching(listing, mlsd, rest);
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
