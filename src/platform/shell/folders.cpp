// "Scripting.FileSystemObject" and "Shell.Application": presence tests, folders and zip
// archives as shell folders, and copying their entries into a folder.
#include <algorithm>
#include <fstream>
#include <mutex>
#include <vector>

#include "platform/files/files.h"
#include "platform/shell/folder_internal.h"

namespace shell {
namespace {

namespace fs = std::filesystem;
using detail::PathFromUtf8;
using detail::Progress;
using detail::RealFolder;
using detail::TargetTree;
using detail::Utf8;
using detail::ZipFolder;

std::mutex& HandlerMutex() {
    static std::mutex mutex;
    return mutex;
}
CopyProgressHandler& Handler() {
    static CopyProgressHandler handler;
    return handler;
}

// What a Windows path names (links followed); not_found when it does not resolve or does not
// exist. An empty path names nothing (the host would take it as the current folder).
fs::file_type TypeOfWindowsPath(const std::string& path) {
    if (path.empty()) return fs::file_type::not_found;
    try {
        std::error_code ec;
        return fs::status(files::ToHostPath(path), ec).type();
    } catch (const VbError&) {
        return fs::file_type::not_found;
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
    std::error_code ec;
    const fs::file_status own = fs::symlink_status(source, ec);
    if (ec || !fs::exists(own)) throw vberr::Make(vberr::FileNotFound);
    const fs::file_status target = fs::is_symlink(own) ? fs::status(source, ec) : own;
    if (fs::is_symlink(own) && (ec || fs::is_directory(target))) return;
    if (fs::is_regular_file(target)) {
        plan.push_back({source, std::move(parts), false, fs::file_size(source, ec)});
        return;
    }
    if (!fs::is_directory(target)) return;
    plan.push_back({source, parts, true, 0});
    std::vector<fs::path> children;
    for (const auto& child : fs::directory_iterator(source, ec)) children.push_back(child.path());
    if (ec) throw VbError(vberr::PathFileAccess, "Path/File access error: " + Utf8(source));
    std::sort(children.begin(), children.end());
    for (const auto& child : children) {
        auto childParts = parts;
        childParts.push_back(Utf8(child.filename()));
        PlanRealCopy(child, std::move(childParts), plan);
    }
}

void CopyRealFile(const RealCopy& item, TargetTree& target, Progress& progress,
                  std::vector<char>& buffer) {
    std::ifstream in(item.source, std::ios::binary);
    if (!in) throw vberr::Make(vberr::FileNotFound);
    TargetTree::File out(target, item.parts);
    progress.Start(Utf8(item.source.filename()));
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        out.Write(buffer.data(), got);
        progress.Add(got);
    }
    if (in.bad()) throw vberr::Make(vberr::DeviceIO);
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
        item.Name = Utf8(entry.path().filename());
        item.IsFolder = entry.is_directory(ec);
        item.Parent = this;
        item.Path = Utf8(entry.path());
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
        const fs::path source = PathFromUtf8(item.Path);
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
    if (const auto volume = VolumeBytes(host_); volume && total > *volume) {
        throw vberr::Make(vberr::DiskFull);
    }
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
            target.MakeFolder(copy.parts, copy.parts.size());
        } else {
            CopyRealFile(copy, target, progress, buffer);
        }
    }
}

}  // namespace detail

bool FileSystemObject::folderexists(const std::string& path) const {
    return TypeOfWindowsPath(path) == fs::file_type::directory;
}

bool FileSystemObject::FileExists(const std::string& path) const {
    return TypeOfWindowsPath(path) == fs::file_type::regular;
}

std::unique_ptr<Folder> ShellApplication::NameSpace(const std::string& path) const {
    if (path.empty()) return nullptr;
    fs::path host;
    try {
        host = files::ToHostPath(path);
    } catch (const VbError&) {
        return nullptr;
    }
    std::error_code ec;
    const fs::file_type type = fs::status(host, ec).type();
    if (type == fs::file_type::directory) return std::make_unique<RealFolder>(host);
    if (type != fs::file_type::regular) return nullptr;
    return ZipFolder::Open(host);
}

}  // namespace shell
