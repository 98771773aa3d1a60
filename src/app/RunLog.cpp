#include "app/RunLog.h"

#include <exception>

#include "app/CommandLine.h"
#include "platform/files/files.h"

namespace app {

RunLog::RunLog(std::ostream* echo) : stream_(&tee_) { tee_.echo = echo; }

bool RunLog::Open(const std::string& path) {
    try {
        file_.open(files::ToHostPath(path), std::ios::binary | std::ios::trunc);
    } catch (const std::exception&) {
        return false;
    }
    if (!file_.is_open()) return false;
    tee_.file = &file_;
    return true;
}

RunLog::Tee::int_type RunLog::Tee::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    xsputn(&ch, 1);
    return c;
}

std::streamsize RunLog::Tee::xsputn(const char* s, std::streamsize n) {
    if (echo) echo->write(s, n);
    if (file) file->write(s, n);
    return n;
}

int RunLog::Tee::sync() {
    if (echo) echo->flush();
    if (file) file->flush();
    return 0;
}

std::string DefaultLogPath() {
    try {
        return files::Environ("Temp") + "\\" + kDefaultLogName;
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace app
