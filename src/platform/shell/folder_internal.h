// Pieces shared by the shell's folder objects: the two kinds of folder, the progress reporter
// of a copy, and the writer that puts files into a target folder without following links (its
// implementation is the platform's).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/shell/shell.h"
#include "platform/shell/zip_reader.h"

namespace shell::detail {

// Reports bytes done to the handler of SetCopyProgressHandler, at most every 20 ms, and once at
// the end. Costs one comparison per call when no handler is set.
class Progress {
  public:
    explicit Progress(std::uint64_t total);
    // The file whose bytes come next.
    void Start(const std::string& item) {
        if (handler_) item_ = item;
    }
    void Add(std::uint64_t bytes) {
        done_ += bytes;
        if (handler_) Report(false);
    }
    void Finish();

  private:
    void Report(bool finished);
    CopyProgressHandler handler_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    std::string item_;
    std::chrono::steady_clock::time_point last_{};
};

// A target folder being written into, without following links: the platform's writer
// (posix/, windows/) opens each folder of a path as it goes and refuses one that is a link; files
// are written under a temporary name and renamed into place, so an existing link is replaced,
// never written through, and an interrupted file never appears under its own name. Names are
// matched against what exists without regard to case.
class TargetTree {
  public:
    explicit TargetTree(const std::filesystem::path& root);
    ~TargetTree();
    TargetTree(const TargetTree&) = delete;
    TargetTree& operator=(const TargetTree&) = delete;

    // The folder of the first `count` components under the root, created where missing.
    // Temporary files that a killed extraction left in a folder are removed when the folder is
    // first looked into for a name.
    void MakeFolder(const std::vector<std::string>& components, std::size_t count);

    // A file being written at `components` under the root, its folders made where missing.
    // Destroyed before Commit, it leaves nothing behind.
    class File {
      public:
        File(TargetTree& tree, const std::vector<std::string>& components);
        ~File();
        File(const File&) = delete;
        File& operator=(const File&) = delete;
        void Write(const char* data, std::size_t size);
        void Commit();  // renames the finished file into place

      private:
        struct Native;
        std::unique_ptr<Native> native_;
    };

  private:
    struct Native;
    std::unique_ptr<Native> native_;
};

// The size of the file system that holds a folder; nothing when it cannot be told.
std::optional<std::uint64_t> VolumeBytes(const std::filesystem::path& folder);

// A folder of the host file system.
class RealFolder final : public Folder {
  public:
    explicit RealFolder(std::filesystem::path host) : host_(std::move(host)) {}
    FolderItems Items() const override;
    void CopyHere(const FolderItems& items) override;
    void CheckCopy(const FolderItems& items) const override;
    const std::filesystem::path& Host() const { return host_; }

  private:
    struct Plan;
    Plan Planned(const FolderItems& items) const;
    std::filesystem::path host_;
};

// A zip archive read as a folder; the archive stays open while the object lives.
class ZipFolder final : public Folder {
  public:
    struct Entry {
        std::size_t index = 0;           // in the reader's entries
        std::string name;                // as stored (UTF-8)
        std::vector<std::string> parts;  // components, "/" and "\" both separating
        bool isFolder = false;
        bool isLink = false;
        std::uint64_t size = 0;
    };

    static std::unique_ptr<ZipFolder> Open(const std::filesystem::path& host);
    FolderItems Items() const override;
    void CopyHere(const FolderItems& items) override;
    void CheckCopy(const FolderItems& items) const override;

    // The entries under the given top-level names, every one checked as safe to write; throws
    // VbError (nothing written yet) when one is not.
    std::vector<const Entry*> Select(const std::vector<std::string>& topNames) const;
    void Extract(const std::vector<const Entry*>& entries, TargetTree& target,
                 Progress& progress) const;

  private:
    std::unique_ptr<zip::ZipReader> reader_;
    std::vector<Entry> entries_;
};

// A host path's text as UTF-8, and a path from UTF-8 text, on every platform (a path's narrow
// text on Windows is in the ANSI code page, which cannot hold every name).
inline std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
inline std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// The error raised for a file that cannot be written into a target folder, from the platform's
// error number (errno, or GetLastError on Windows).
VbError WriteError(int error, const std::string& name);

}  // namespace shell::detail
