// "Scripting.FileSystemObject" and "Shell.Application": presence tests, folders and zip
// archives as shell folders, and copying their entries into a folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/files/files.h"
#include "platform/shell/folder_internal.h"

namespace shell {
namespace {

namespace fs = std::filesystem;
using detail::Progress;
using detail::RealFolder;
using detail::TargetTree;
using detail::ZipFolder;

std::mutex& HandlerMutex() {
    static std::mutex mutex;
    return mutex;
}
CopyProgressHandler& Handler() {
    static CopyProgressHandler handler;
    return handler;
}

// stat() of a Windows path; false when it does not resolve or does not exist. An empty path
// names nothing (the host would take it as the current folder).
bool StatWindowsPath(const std::string& path, struct stat& st) {
    if (path.empty()) return false;
    try {
        return ::stat(files::ToHostPath(path).c_str(), &st) == 0;
    } catch (const VbError&) {
        return false;
    }
}

// One real file or folder to copy, and where under the target it goes.
struct RealCopy {
    fs::path source;
    std::vector<std::string> parts;  // destination components under the target
    bool folder = false;
    std::uint64_t size = 0;
};

// Lists a real entry and everything below it, parents before children. Links are not followed
// into folders, and anything but files and folders is left out.
void PlanRealCopy(const fs::path& source, std::vector<std::string> parts,
                  std::vector<RealCopy>& plan) {
    struct stat st;
    if (::lstat(source.c_str(), &st) != 0) throw vberr::Make(vberr::FileNotFound);
    if (S_ISLNK(st.st_mode) && (::stat(source.c_str(), &st) != 0 || S_ISDIR(st.st_mode))) return;
    if (S_ISREG(st.st_mode)) {
        plan.push_back({source, std::move(parts), false, static_cast<std::uint64_t>(st.st_size)});
        return;
    }
    if (!S_ISDIR(st.st_mode)) return;
    plan.push_back({source, parts, true, 0});
    std::vector<fs::path> children;
    std::error_code ec;
    for (const auto& child : fs::directory_iterator(source, ec)) children.push_back(child.path());
    if (ec) throw VbError(vberr::PathFileAccess, "Path/File access error: " + source.string());
    std::sort(children.begin(), children.end());
    for (const auto& child : children) {
        auto childParts = parts;
        childParts.push_back(child.filename().string());
        PlanRealCopy(child, std::move(childParts), plan);
    }
}

void CopyRealFile(const RealCopy& item, TargetTree& target, Progress& progress,
                  std::vector<char>& buffer) {
    const int in = ::open(item.source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw vberr::Make(vberr::FileNotFound);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{in};
    const int folder = target.OpenFolder(item.parts, item.parts.size() - 1);
    TargetTree::File out(target, folder, item.parts.back());
    progress.Start(item.source.filename().string());
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw vberr::Make(vberr::DeviceIO);
        if (got == 0) break;
        out.Write(buffer.data(), static_cast<std::size_t>(got));
        progress.Add(static_cast<std::uint64_t>(got));
    }
    out.Commit();
}

bool IsInside(const fs::path& path, const fs::path& folder) {
    std::error_code ec;
    const fs::path a = fs::weakly_canonical(path, ec);
    const fs::path b = fs::weakly_canonical(folder, ec);
    auto ai = a.begin();
    for (auto bi = b.begin(); bi != b.end(); ++bi, ++ai) {
        if (bi->empty()) continue;
        if (ai == a.end() || *ai != *bi) return false;
    }
    return true;
}

}  // namespace

void SetCopyProgressHandler(CopyProgressHandler handler) {
    std::lock_guard lock(HandlerMutex());
    Handler() = std::move(handler);
}

namespace detail {

Progress::Progress(std::uint64_t total) : total_(total) {
    std::lock_guard lock(HandlerMutex());
    handler_ = Handler();
}

void Progress::Report(bool finished) {
    const auto now = std::chrono::steady_clock::now();
    if (!finished && now - last_ < std::chrono::milliseconds(20)) return;
    last_ = now;
    handler_(done_, total_, finished, item_);
}

void Progress::Finish() {
    if (handler_) Report(true);
}

FolderItems RealFolder::Items() const {
    FolderItems items;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(host_, ec)) {
        FolderItem item;
        item.Name = entry.path().filename().string();
        item.IsFolder = entry.is_directory(ec);
        item.Parent = this;
        item.Path = entry.path().string();
        items.entries.push_back(std::move(item));
    }
    // Names in order as the shell lists them: letter case aside, then byte order.
    std::sort(items.entries.begin(), items.entries.end(), [](const auto& a, const auto& b) {
        const auto fa = files::FoldCase(a.Name), fb = files::FoldCase(b.Name);
        return fa != fb ? fa < fb : a.Name < b.Name;
    });
    return items;
}

struct RealFolder::Plan {
    std::vector<std::pair<const ZipFolder*, std::vector<const ZipFolder::Entry*>>> zipPlans;
    std::vector<RealCopy> realPlan;
    std::uint64_t total = 0;
};

// Everything is planned and checked first: a refused entry leaves the target untouched.
RealFolder::Plan RealFolder::Planned(const FolderItems& items) const {
    Plan plan;
    auto& zipPlans = plan.zipPlans;
    auto& realPlan = plan.realPlan;
    auto& total = plan.total;
    std::map<const ZipFolder*, std::vector<std::string>> zipNames;
    std::vector<const ZipFolder*> zipOrder;
    for (const auto& item : items) {
        if (const auto* zip = dynamic_cast<const ZipFolder*>(item.Parent)) {
            if (zipNames.count(zip) == 0) zipOrder.push_back(zip);
            zipNames[zip].push_back(item.Name);
            continue;
        }
        const fs::path source = item.Path;
        if (item.IsFolder && IsInside(host_, source)) {
            throw VbError(vberr::PathFileAccess,
                          "Path/File access error: cannot copy a folder into itself");
        }
        PlanRealCopy(source, {item.Name}, realPlan);
    }
    // Declared sizes add up without wrapping, so that a hostile one cannot hide the others.
    auto add = [&total](std::uint64_t size) {
        total = size > UINT64_MAX - total ? UINT64_MAX : total + size;
    };
    for (const auto* zip : zipOrder) {
        auto entries = zip->Select(zipNames[zip]);
        for (const auto* entry : entries) add(entry->size);
        zipPlans.emplace_back(zip, std::move(entries));
    }
    for (const auto& copy : realPlan) add(copy.size);
    // More than the whole file system holds can never be written, whatever is freed meanwhile.
    struct statvfs volume;
    if (::statvfs(host_.c_str(), &volume) == 0 &&
        total / std::max<std::uint64_t>(volume.f_frsize, 1) > volume.f_blocks)
        throw vberr::Make(vberr::DiskFull);
    return plan;
}

void RealFolder::CheckCopy(const FolderItems& items) const { Planned(items); }

void RealFolder::CopyHere(const FolderItems& items) {
    const auto [zipPlans, realPlan, total] = Planned(items);
    TargetTree target(host_);
    Progress progress(total);
    struct FinishAlways {
        Progress& progress;
        ~FinishAlways() { progress.Finish(); }
    } finish{progress};
    for (const auto& [zip, entries] : zipPlans) zip->Extract(entries, target, progress);
    std::vector<char> buffer(1 << 20);
    for (const auto& copy : realPlan) {
        if (copy.folder) {
            target.OpenFolder(copy.parts, copy.parts.size());
        } else {
            CopyRealFile(copy, target, progress, buffer);
        }
    }
}

}  // namespace detail

bool FileSystemObject::folderexists(const std::string& path) const {
    struct stat st;
    return StatWindowsPath(path, st) && S_ISDIR(st.st_mode);
}

bool FileSystemObject::FileExists(const std::string& path) const {
    struct stat st;
    return StatWindowsPath(path, st) && S_ISREG(st.st_mode);
}

std::unique_ptr<Folder> ShellApplication::NameSpace(const std::string& path) const {
    if (path.empty()) return nullptr;
    fs::path host;
    try {
        host = files::ToHostPath(path);
    } catch (const VbError&) {
        return nullptr;
    }
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) return nullptr;
    if (S_ISDIR(st.st_mode)) return std::make_unique<RealFolder>(host);
    if (!S_ISREG(st.st_mode)) return nullptr;
    return ZipFolder::Open(host);
}

}  // namespace shell
