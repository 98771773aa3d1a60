// Parsers of what an FTP server sends: control-channel replies and listing lines. Pure
// functions over bytes, bounded, with no I/O, so that the fuzz targets can drive them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wininet::detail {

// One whole reply: its code and all its lines, each ending in "\r\n".
struct Reply {
    int code = 0;
    std::string text;
};

// Assembles replies (RFC 959, multi-line included) from the bytes of the control stream.
class ReplyParser {
  public:
    static constexpr std::size_t kMaxLine = 8 * 1024;
    static constexpr std::size_t kMaxReply = 64 * 1024;

    enum class State { Incomplete, Done, Bad };

    // Consumes bytes up to the end of one reply at most; `used` tells how many. After Done the
    // reply is taken with Take(); after Bad the stream cannot be trusted any more.
    State Feed(std::string_view bytes, std::size_t& used);
    Reply Take();
    void Reset();

  private:
    State EndOfLine();

    std::string line_;
    std::string text_;
    int code_ = 0;
    bool multiLine_ = false;
    bool bad_ = false;
    bool done_ = false;
};

// Port of "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)"; the address is not used.
std::optional<std::uint16_t> ParsePasvPort(std::string_view reply);
// Port of "229 Entering Extended Passive Mode (|||6446|)".
std::optional<std::uint16_t> ParseEpsvPort(std::string_view reply);
// Folder quoted in "257 "/a ""b"" c" is current", doubled quotes undone.
std::optional<std::string> ParsePwdReply(std::string_view reply);
// The size a server announces for a transfer: "150 Opening BINARY mode data connection for
// a.zip (1234 bytes)." or "213 1234" (SIZE).
std::optional<std::uint64_t> ParseTransferSize(std::string_view reply);
// Whether a FEAT reply lists MLST or MLSD.
bool FeatOffersMlsd(std::string_view reply);

// One entry of a listing. Times are FILETIME ticks (100 ns since 1601-01-01 UTC), 0 if unknown.
struct ListEntry {
    std::string name;
    bool directory = false;
    std::uint64_t size = 0;
    std::uint64_t modified = 0;
    std::uint64_t created = 0;
};

// A line of an MLSD reply ("type=file;size=5;modify=20240102030405; a.txt"). No entry for the
// current and parent folder or a line that is not an entry.
std::optional<ListEntry> ParseMlsdLine(std::string_view line);
// A line of a LIST reply in the Unix ("-rw-r--r-- 1 u g 5 Jan 02 03:04 a.txt") or DOS
// ("01-02-24  03:04AM                    5 a.txt") format. Times are taken as UTC; a Unix time
// without a year is placed in the year that puts it no more than a day after `nowUnix`.
std::optional<ListEntry> ParseListLine(std::string_view line, std::int64_t nowUnix);

// FILETIME ticks of a UTC civil time; nullopt when a field is out of range.
std::optional<std::uint64_t> FileTimeFromCivil(int year, int month, int day, int hour, int minute,
                                               int second);

// Windows wildcard match (* and ?) without regard to ASCII and Latin-1 letter case; "?" stands
// for one character of UTF-8 text.
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace wininet::detail
