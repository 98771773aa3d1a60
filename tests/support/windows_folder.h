// A throwaway folder for a test on Windows, under the system's temporary folder and with an
// accented name so that every path through it crosses the UTF-8/UTF-16 boundary; "TEMP" points
// at it while the object lives. Paths are UTF-8 Windows paths, as the files layer takes them.
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/kernel/windows/utf16.h"

namespace testsupport {

class WindowsFolder {
  public:
    WindowsFolder() {
        static int count = 0;
        host_ = std::filesystem::temp_directory_path() /
                kernel::Widen("Instalação-" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(count++));
        std::filesystem::remove_all(host_);
        std::filesystem::create_directories(host_);
        wchar_t old[32767];
        const DWORD length = GetEnvironmentVariableW(L"TEMP", old, 32767);
        if (length > 0 && length < 32767) oldTemp_ = std::wstring(old, length);
        SetEnvironmentVariableW(L"TEMP", host_.c_str());
    }
    ~WindowsFolder() {
        SetEnvironmentVariableW(L"TEMP", oldTemp_ ? oldTemp_->c_str() : nullptr);
        std::error_code ec;
        std::filesystem::remove_all(host_, ec);
    }
    WindowsFolder(const WindowsFolder&) = delete;
    WindowsFolder& operator=(const WindowsFolder&) = delete;

    // The Windows path of `name` in the folder ("" for the folder itself).
    std::string Path(std::string_view name = "") const {
        const std::string folder = kernel::Narrow(host_.native());
        return name.empty() ? folder : folder + "\\" + std::string(name);
    }
    std::filesystem::path Host(std::string_view name) const { return host_ / kernel::Widen(name); }
    void Write(std::string_view name, std::string_view content) const {
        std::ofstream(Host(name), std::ios::binary) << content;
    }
    std::string Read(std::string_view name) const {
        std::ostringstream out;
        out << std::ifstream(Host(name), std::ios::binary).rdbuf();
        return out.str();
    }

  private:
    std::filesystem::path host_;
    std::optional<std::wstring> oldTemp_;
};

}  // namespace testsupport
