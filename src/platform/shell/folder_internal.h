// Pieces shared by the shell's folder objects: the two kinds of folder, the progress reporter
// of a copy, and the writer that puts files into a target folder without following links.
#pragma once

#include <zip.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/shell/shell.h"

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

// A target folder being written into. Each path component is matched against what exists
// without regard to case; folders are entered with O_NOFOLLOW, and files are written under a
// temporary name and renamed into place, so an existing link is replaced, never written through,
// and an interrupted file never appears under its own name.
class TargetTree {
  public:
    explicit TargetTree(const std::filesystem::path& root);
    ~TargetTree();
    TargetTree(const TargetTree&) = delete;
    TargetTree& operator=(const TargetTree&) = delete;

    // The descriptor of the folder at `components` under the root, created where missing.
    // Temporary files that a killed extraction left in a folder are removed when the folder is
    // first looked into for a name.
    int OpenFolder(const std::vector<std::string>& components, std::size_t count);

    // A file being written into a folder opened by OpenFolder.
    class File {
      public:
        File(TargetTree& tree, int folder, const std::string& name);
        ~File();
        File(const File&) = delete;
        File& operator=(const File&) = delete;
        void Write(const char* data, std::size_t size);
        void Commit();  // renames the finished file into place

      private:
        TargetTree& tree_;
        int folder_;
        int fd_ = -1;
        std::string name_;
        std::string temp_;
    };

  private:
    struct Entry {
        int fd = -1;
        bool scanned = false;
        std::unordered_map<std::string, std::string> names;  // folded name -> name on disk
    };
    Entry& Scanned(const std::string& key);
    std::string ActualName(const std::string& key, const std::string& name);
    void CloseAll();

    std::map<std::string, Entry> folders_;  // by folded relative path; "" is the root
    std::map<int, std::string> keyOfFd_;
};

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
        zip_uint64_t index = 0;
        std::string name;                // as stored (UTF-8)
        std::vector<std::string> parts;  // components, "/" and "\" both separating
        bool isFolder = false;
        bool isLink = false;
        zip_uint64_t size = 0;
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
    struct ArchiveCloser {
        void operator()(zip_t* archive) const { zip_discard(archive); }
    };
    std::unique_ptr<zip_t, ArchiveCloser> archive_;
    std::vector<Entry> entries_;
};

// The error raised for a file that cannot be written into a target folder.
VbError WriteError(int error, const std::string& name);

}  // namespace shell::detail
