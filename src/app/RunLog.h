// The log of one run: every line an unattended run prints (status lines, message boxes,
// transfers), each component copied and registered, and the exit code, in a file the run names
// (/log) or in the Temp folder. Lines go to the file and, for the unattended modes, to standard
// output as well; a run without a file only echoes.
#pragma once

#include <fstream>
#include <ostream>
#include <streambuf>
#include <string>

namespace app {

class RunLog {
  public:
    // echo: where lines go besides the file; nullptr for nowhere.
    explicit RunLog(std::ostream* echo);
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Opens the file (a Windows path, or a host path on Linux), replacing an older one. False
    // when it cannot be written; the lines still go to the echo.
    bool Open(const std::string& path);

    // The file and the echo as one stream.
    std::ostream& stream() { return stream_; }

  private:
    class Tee : public std::streambuf {
      public:
        std::ostream* echo = nullptr;
        std::ofstream* file = nullptr;

      protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* s, std::streamsize n) override;
        int sync() override;
    };

    std::ofstream file_;
    Tee tee_;
    std::ostream stream_;
};

// Where a /passive or /quiet run without /log writes its log: kDefaultLogName in the Temp folder.
std::string DefaultLogPath();

}  // namespace app
