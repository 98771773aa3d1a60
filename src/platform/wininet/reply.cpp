// Control-channel reply parsing: reply assembly and the fields taken out of single replies.
#include <cctype>

#include "platform/wininet/parsers.h"

namespace wininet::detail {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The code of a line that starts with three digits, the first 1 to 5; 0 otherwise.
int LineCode(std::string_view line) {
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) return 0;
    if (line[0] < '1' || line[0] > '5') return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

// Reads a decimal number of at most `maxDigits` digits at `pos`.
std::optional<unsigned> Number(std::string_view s, std::size_t& pos, int maxDigits) {
    unsigned value = 0;
    int digits = 0;
    while (pos < s.size() && IsDigit(s[pos])) {
        if (++digits > maxDigits) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(s[pos++] - '0');
    }
    if (digits == 0) return std::nullopt;
    return value;
}

}  // namespace

ReplyParser::State ReplyParser::Feed(std::string_view bytes, std::size_t& used) {
    used = 0;
    if (bad_) return State::Bad;
    while (used < bytes.size()) {
        char c = bytes[used++];
        if (c != '\n') {
            if (line_.size() >= kMaxLine) {
                bad_ = true;
                return State::Bad;
            }
            line_.push_back(c);
            continue;
        }
        State s = EndOfLine();
        if (s != State::Incomplete) return s;
    }
    return State::Incomplete;
}

ReplyParser::State ReplyParser::EndOfLine() {
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    std::string line;
    line.swap(line_);
    int code = LineCode(line);
    if (code_ == 0) {
        // The first line: "ddd text", "ddd-text" (more lines follow) or a bare "ddd".
        if (code == 0 || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
            bad_ = true;
            return State::Bad;
        }
        code_ = code;
        multiLine_ = line.size() > 3 && line[3] == '-';
    }
    if (text_.size() + line.size() + 2 > kMaxReply) {
        bad_ = true;
        return State::Bad;
    }
    text_ += line;
    text_ += "\r\n";
    bool last = !multiLine_ || (code == code_ && (line.size() == 3 || line[3] == ' '));
    if (!last) return State::Incomplete;
    done_ = true;
    return State::Done;
}

Reply ReplyParser::Take() {
    Reply r{code_, std::move(text_)};
    Reset();
    return r;
}

void ReplyParser::Reset() {
    line_.clear();
    text_.clear();
    code_ = 0;
    multiLine_ = false;
    bad_ = false;
    done_ = false;
}

std::optional<std::uint16_t> ParsePasvPort(std::string_view reply) {
    // Six numbers of at most three digits, separated by commas, anywhere after the code.
    for (std::size_t start = 3; start < reply.size(); ++start) {
        if (!IsDigit(reply[start]) || IsDigit(reply[start - 1])) continue;
        std::size_t pos = start;
        unsigned fields[6];
        int n = 0;
        for (; n < 6; ++n) {
            auto v = Number(reply, pos, 3);
            if (!v || *v > 255) break;
            fields[n] = *v;
            if (n < 5) {
                if (pos >= reply.size() || reply[pos] != ',') break;
                ++pos;
            }
        }
        if (n < 6) continue;
        unsigned port = fields[4] * 256 + fields[5];
        if (port == 0) return std::nullopt;
        return static_cast<std::uint16_t>(port);
    }
    return std::nullopt;
}

std::optional<std::uint16_t> ParseEpsvPort(std::string_view reply) {
    std::size_t open = reply.find('(');
    if (open == std::string_view::npos || open + 4 >= reply.size()) return std::nullopt;
    char d = reply[open + 1];
    if (d < 33 || d > 126 || IsDigit(d)) return std::nullopt;
    if (reply[open + 2] != d || reply[open + 3] != d) return std::nullopt;
    std::size_t pos = open + 4;
    auto port = Number(reply, pos, 5);
    if (!port || *port == 0 || *port > 65535) return std::nullopt;
    if (pos >= reply.size() || reply[pos] != d) return std::nullopt;
    return static_cast<std::uint16_t>(*port);
}

std::optional<std::string> ParsePwdReply(std::string_view reply) {
    std::size_t eol = reply.find_first_of("\r\n");
    std::string_view line = reply.substr(0, eol);
    if (line.size() < 4) return std::nullopt;
    std::string_view rest = line.substr(4);
    std::size_t open = rest.find('"');
    if (open == std::string_view::npos) {
        // Some servers leave the quotes out: take the first word.
        std::size_t end = rest.find(' ');
        std::string_view word = rest.substr(0, end);
        if (word.empty()) return std::nullopt;
        return std::string(word);
    }
    std::string folder;
    for (std::size_t i = open + 1; i < rest.size(); ++i) {
        if (rest[i] != '"') {
            folder.push_back(rest[i]);
            continue;
        }
        if (i + 1 < rest.size() && rest[i + 1] == '"') {
            folder.push_back('"');
            ++i;
            continue;
        }
        return folder;
    }
    return std::nullopt;  // no closing quote
}

std::optional<std::uint64_t> ParseTransferSize(std::string_view reply) {
    std::string_view line = reply.substr(0, reply.find_first_of("\r\n"));
    std::size_t pos = 0;
    if (line.substr(0, 4) == "213 ") {
        pos = 4;
    } else {
        const std::size_t open = line.rfind('(');
        if (open == std::string_view::npos) return std::nullopt;
        const std::size_t close = line.find(')', open);
        if (close == std::string_view::npos) return std::nullopt;
        line = line.substr(0, close);
        if (line.size() < 6 || line.substr(line.size() - 6) != " bytes") return std::nullopt;
        line.remove_suffix(6);
        pos = open + 1;
    }
    std::uint64_t size = 0;
    std::size_t digits = 0;
    for (; pos < line.size() && IsDigit(line[pos]); ++pos, ++digits) {
        if (digits == 19) return std::nullopt;
        size = size * 10 + static_cast<std::uint64_t>(line[pos] - '0');
    }
    while (pos < line.size() && line[pos] == ' ') ++pos;
    if (digits == 0 || pos != line.size()) return std::nullopt;
    return size;
}

bool FeatOffersMlsd(std::string_view reply) {
    std::size_t pos = 0;
    while (pos < reply.size()) {
        std::size_t eol = reply.find('\n', pos);
        std::string_view line = reply.substr(pos, eol == std::string_view::npos ? eol : eol - pos);
        pos = eol == std::string_view::npos ? reply.size() : eol + 1;
        std::size_t i = 0;
        while (i < line.size() && line[i] == ' ') ++i;
        if (i == 0) continue;  // feature lines start with a space
        std::string word;
        while (i < line.size() && std::isalpha(static_cast<unsigned char>(line[i]))) {
            word.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(line[i++]))));
        }
        if (word == "MLST" || word == "MLSD") return true;
    }
    return false;
}

}  // namespace wininet::detail
