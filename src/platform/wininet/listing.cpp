// Listing parsers (MLSD facts, Unix and DOS LIST lines) and the find service's wildcards.
#include <array>
#include <cctype>
#include <vector>

#include "platform/files/files.h"
#include "platform/wininet/parsers.h"

namespace wininet::detail {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
// Days from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kDays1601To1970 = 134774;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

int YearOfUnix(std::int64_t unixSeconds) {
    // Inverse of DaysFromCivil, year only.
    std::int64_t z = (unixSeconds >= 0 ? unixSeconds : unixSeconds - 86399) / 86400 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

std::optional<std::uint64_t> ParseUnsigned(std::string_view s) {
    if (s.empty() || s.size() > 19) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
        if (!IsDigit(c)) return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return v;
}

int Digits(std::string_view s, std::size_t pos, std::size_t n) {
    int v = 0;
    for (std::size_t i = pos; i < pos + n; ++i) v = v * 10 + (s[i] - '0');
    return v;
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s) {
        if (!IsDigit(c)) return false;
    }
    return true;
}

// "YYYYMMDDHHMMSS" with an optional ".sss" (RFC 3659 time-val), UTC.
std::optional<std::uint64_t> ParseTimeVal(std::string_view v) {
    std::size_t dot = v.find('.');
    std::string_view whole = v.substr(0, dot);
    if (whole.size() != 14 || !AllDigits(whole)) return std::nullopt;
    return FileTimeFromCivil(Digits(whole, 0, 4), Digits(whole, 4, 2), Digits(whole, 6, 2),
                             Digits(whole, 8, 2), Digits(whole, 10, 2), Digits(whole, 12, 2));
}

bool SkippedName(std::string_view name) { return name.empty() || name == "." || name == ".."; }

std::vector<std::string_view> SplitWords(std::string_view line, std::size_t maxWords,
                                         std::vector<std::size_t>& starts) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size() && words.size() < maxWords) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        std::size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        words.push_back(line.substr(start, i - start));
        starts.push_back(start);
    }
    return words;
}

int MonthNumber(std::string_view word) {
    static constexpr std::array<std::string_view, 12> kMonths{
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (EqualsNoCase(word, kMonths[i])) return static_cast<int>(i) + 1;
    }
    return 0;
}

// "-rw-r--r--   1 owner group   5 Jan 02 03:04 a.txt" (the group may be missing).
std::optional<ListEntry> ParseUnixLine(std::string_view line, std::int64_t nowUnix) {
    std::vector<std::size_t> starts;
    auto words = SplitWords(line, 9, starts);
    if (words.size() < 6 || words[0].size() < 10) return std::nullopt;
    char type = words[0][0];
    if (std::string_view("-dlbcps").find(type) == std::string_view::npos) return std::nullopt;
    // The date is a month word followed by a day and a time or year; the size comes before it.
    for (std::size_t m = 2; m + 2 < words.size(); ++m) {
        int month = MonthNumber(words[m]);
        if (month == 0) continue;
        auto size = ParseUnsigned(words[m - 1]);
        auto day = ParseUnsigned(words[m + 1]);
        std::string_view when = words[m + 2];
        if (!size || !day || *day < 1 || *day > 31) continue;
        int hour = 0, minute = 0;
        int year = 0;
        if (when.size() == 5 && when[2] == ':' && AllDigits(when.substr(0, 2)) &&
            AllDigits(when.substr(3))) {
            hour = Digits(when, 0, 2);
            minute = Digits(when, 3, 2);
        } else if (when.size() == 4 && AllDigits(when)) {
            year = Digits(when, 0, 4);
        } else {
            continue;
        }
        // The name is the rest of the line after one space following the time or year.
        std::size_t nameStart = starts[m + 2] + when.size() + 1;
        if (nameStart >= line.size()) return std::nullopt;
        ListEntry e;
        e.name = std::string(line.substr(nameStart));
        if (type == 'l') {
            std::size_t arrow = e.name.find(" -> ");
            if (arrow != std::string::npos) e.name.resize(arrow);
        }
        if (SkippedName(e.name)) return std::nullopt;
        e.directory = type == 'd';
        e.size = *size;
        if (year == 0) {
            year = YearOfUnix(nowUnix);
            auto t = FileTimeFromCivil(year, month, static_cast<int>(*day), hour, minute, 0);
            auto limit = static_cast<std::uint64_t>(nowUnix + kDays1601To1970 * 86400 + 86400) *
                         kTicksPerSecond;
            if (t && *t > limit) --year;
        }
        e.modified =
            FileTimeFromCivil(year, month, static_cast<int>(*day), hour, minute, 0).value_or(0);
        e.created = e.modified;
        return e;
    }
    return std::nullopt;
}

// "12-08-26  10:15AM       <DIR>          sub" or "12-08-2026  10:15PM    1234 a.txt".
std::optional<ListEntry> ParseDosLine(std::string_view line) {
    std::vector<std::size_t> starts;
    auto words = SplitWords(line, 3, starts);
    if (words.size() < 3) return std::nullopt;
    std::string_view date = words[0], time = words[1];
    if ((date.size() != 8 && date.size() != 10) || date[2] != '-' || date[5] != '-') {
        return std::nullopt;
    }
    if (!AllDigits(date.substr(0, 2)) || !AllDigits(date.substr(3, 2)) ||
        !AllDigits(date.substr(6))) {
        return std::nullopt;
    }
    if (time.size() != 7 || time[2] != ':' || !AllDigits(time.substr(0, 2)) ||
        !AllDigits(time.substr(3, 2))) {
        return std::nullopt;
    }
    char half = static_cast<char>(std::toupper(static_cast<unsigned char>(time[5])));
    if ((half != 'A' && half != 'P') || (time[6] != 'M' && time[6] != 'm')) return std::nullopt;
    int year = Digits(date, 6, date.size() - 6);
    if (date.size() == 8) year += year < 70 ? 2000 : 1900;
    int hour = Digits(time, 0, 2);
    if (hour < 1 || hour > 12) return std::nullopt;
    hour = hour % 12 + (half == 'P' ? 12 : 0);

    ListEntry e;
    if (words[2] == "<DIR>") {
        e.directory = true;
    } else {
        auto size = ParseUnsigned(words[2]);
        if (!size) return std::nullopt;
        e.size = *size;
    }
    std::size_t i = starts[2] + words[2].size();
    while (i < line.size() && line[i] == ' ') ++i;
    if (i >= line.size()) return std::nullopt;
    e.name = std::string(line.substr(i));
    if (SkippedName(e.name)) return std::nullopt;
    e.modified =
        FileTimeFromCivil(year, Digits(date, 0, 2), Digits(date, 3, 2), hour, Digits(time, 3, 2), 0)
            .value_or(0);
    e.created = e.modified;
    return e;
}

// Length of the UTF-8 character that starts with `lead` (1 for stray bytes).
std::size_t CharLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

std::optional<std::uint64_t> FileTimeFromCivil(int year, int month, int day, int hour, int minute,
                                               int second) {
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60) {
        return std::nullopt;
    }
    std::int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
        kDays1601To1970;
    std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return static_cast<std::uint64_t>(seconds) * kTicksPerSecond;
}

std::optional<ListEntry> ParseMlsdLine(std::string_view line) {
    // Facts end at the first space; the name is everything after it.
    std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    std::string_view facts = line.substr(0, space);
    ListEntry e;
    e.name = std::string(line.substr(space + 1));
    if (SkippedName(e.name)) return std::nullopt;
    bool typed = false;
    std::size_t pos = 0;
    while (pos < facts.size()) {
        std::size_t end = facts.find(';', pos);
        if (end == std::string_view::npos) end = facts.size();
        std::string_view fact = facts.substr(pos, end - pos);
        pos = end + 1;
        std::size_t eq = fact.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view key = fact.substr(0, eq), value = fact.substr(eq + 1);
        if (EqualsNoCase(key, "type")) {
            typed = true;
            if (EqualsNoCase(value, "cdir") || EqualsNoCase(value, "pdir")) return std::nullopt;
            e.directory = EqualsNoCase(value, "dir");
        } else if (EqualsNoCase(key, "size") || EqualsNoCase(key, "sizd")) {
            if (auto size = ParseUnsigned(value)) e.size = *size;
        } else if (EqualsNoCase(key, "modify")) {
            e.modified = ParseTimeVal(value).value_or(0);
        } else if (EqualsNoCase(key, "create")) {
            e.created = ParseTimeVal(value).value_or(0);
        }
    }
    if (!typed) return std::nullopt;
    if (e.created == 0) e.created = e.modified;
    return e;
}

std::optional<ListEntry> ParseListLine(std::string_view line, std::int64_t nowUnix) {
    if (!line.empty() && IsDigit(line[0])) return ParseDosLine(line);
    return ParseUnixLine(line, nowUnix);
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    const std::string p = files::FoldCase(pattern);
    const std::string n = files::FoldCase(name);
    // Greedy match with one backtrack point (the last "*"), linear in practice.
    std::size_t pi = 0, ni = 0;
    std::size_t starP = std::string::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == '?') {
            ++pi;
            ni += CharLength(static_cast<unsigned char>(n[ni]));
            continue;
        }
        if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
            continue;
        }
        if (pi < p.size() && p[pi] == n[ni]) {
            ++pi;
            ++ni;
            continue;
        }
        if (starP == std::string::npos) return false;
        pi = starP + 1;
        ni = ++starN;
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size() && ni <= n.size();
}

}  // namespace wininet::detail
