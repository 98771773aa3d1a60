#include "ftptool/failure.h"

#include <cstdlib>

namespace ftptool {
namespace {

struct Words {
    int code;
    const char* text;
};

// The service's numbers and the server's reply codes, in the words of the people who read them.
constexpr Words kServiceWords[] = {
    {2, "no such local file"},
    {3, "no such local folder"},
    {5, "access denied"},
    {87, "invalid name"},
    {223, "file too large (2 GiB or more)"},
    {12002, "timed out"},
    {12007, "no such host"},
    {12015, "login refused"},
    {12029, "connection refused"},
    {12030, "connection lost"},
    {12031, "connection reset"},
    {12111, "connection lost"},
    {12152, "not an FTP server, or a broken reply"},
    {12163, "no network connection"},
};

constexpr Words kReplyWords[] = {
    {421, "the server closed the session"},
    {425, "no data connection"},
    {426, "transfer aborted"},
    {450, "file busy"},
    {451, "the server failed"},
    {452, "no space left on the server"},
    {530, "login refused"},
    {550, "no such file, or not allowed"},
    {552, "no space left on the server"},
    {553, "name not allowed"},
};

const char* Lookup(const Words* begin, const Words* end, int code) {
    for (const Words* w = begin; w != end; ++w) {
        if (w->code == code) return w->text;
    }
    return nullptr;
}

}  // namespace

std::string DescribeFailure(const std::string& recorded, const std::string& fallback) {
    if (recorded.empty()) return fallback;
    std::string record = recorded;
    while (!record.empty() && (record.back() == '\n' || record.back() == '\r')) record.pop_back();
    const char* words = nullptr;
    static const std::string kCode = " error code: ";
    if (const auto at = record.find(kCode); at != std::string::npos) {
        const int code = std::atoi(record.c_str() + at + kCode.size());
        words = Lookup(std::begin(kServiceWords), std::end(kServiceWords), code);
    } else if (record.size() >= 3 && record[0] >= '1' && record[0] <= '5') {
        words = Lookup(std::begin(kReplyWords), std::end(kReplyWords), std::atoi(record.c_str()));
    }
    if (words == nullptr) words = "failed";
    return std::string(words) + " (" + record + ")";
}

}  // namespace ftptool
