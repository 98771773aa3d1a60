// Extracts hostile archives through Shell.Application (NameSpace, Items, CopyHere), each in a
// fresh process of its own, and prints for each how it ended, its time and the process's peak
// memory; last, "worst <seconds> s <MiB> MiB". Each should end within seconds in a few MiB.
// Needs no arguments and removes everything it made.
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "platform/shell/shell.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Entry {
    std::string name;
    std::string content;
};

bool Write(const fs::path& path, const std::vector<Entry>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) return false;
    for (const auto& entry : entries) {
        zip_source_t* source =
            zip_source_buffer(archive, entry.content.data(), entry.content.size(), 0);
        if (zip_file_add(archive, entry.name.c_str(), source, 0) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

// A deflated gigabyte of zeros whose headers declare a kilobyte.
bool WriteLyingBomb(const fs::path& path) {
    const std::vector<Entry> entries{{"zeros.bin", std::string(std::size_t{1} << 30, '\0')}};
    if (!Write(path, entries)) return false;
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (file == nullptr) return false;
    std::vector<unsigned char> bytes(fs::file_size(path));
    const bool read = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    auto patch = [&](const char* signature, std::size_t sizeAt) {
        const auto at = std::search(bytes.begin(), bytes.end(), signature, signature + 4);
        if (at == bytes.end()) return false;
        const unsigned char kib[4] = {0, 4, 0, 0};
        std::copy(kib, kib + 4, at + static_cast<long>(sizeAt));
        return true;
    };
    const bool patched = read && patch("PK\x03\x04", 22) && patch("PK\x01\x02", 24);
    std::rewind(file);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && patched && written;
}

std::string Deep(int levels) {
    std::string name;
    for (int i = 0; i < levels; ++i) name += "d/";
    return name + "f.txt";
}

// The peak resident memory of this process so far (VmHWM), in KiB; it starts anew at exec.
long PeakKiB() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
    }
    std::fclose(status);
    return kib;
}

// The child's part: one extraction, its outcome on standard output and its peak memory into
// the file `peak`.
int ExtractOnly(const char* archive, const char* target, const char* peak) {
    struct WritePeak {
        const char* path;
        ~WritePeak() {
            if (std::FILE* out = std::fopen(path, "w")) {
                std::fprintf(out, "%ld\n", PeakKiB());
                std::fclose(out);
            }
        }
    } writePeak{peak};
    try {
        shell::ShellApplication app;
        auto zip = app.NameSpace(files::ToWindowsPath(archive));
        auto folder = app.NameSpace(files::ToWindowsPath(target));
        if (zip == nullptr || folder == nullptr) {
            std::puts("not opened");
            return 0;
        }
        folder->CopyHere(zip->Items());
        std::puts("extracted");
    } catch (const VbError& e) {
        std::printf("Error %d: %.70s\n", e.Number, e.Description.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--extract")
        return ExtractOnly(argv[2], argv[3], argv[4]);

    std::string pattern =
        (fs::path(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") / "bench-hostile-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path work = pattern;
    const std::vector<std::pair<std::string, std::function<bool(const fs::path&)>>> shapes = {
        {"256 folders deep",
         [](const fs::path& p) {
             return Write(p, {{Deep(256), "x"}});
         }},
        {"32000 folders deep",
         [](const fs::path& p) {
             return Write(p, {{Deep(32000), "x"}});
         }},
        {"64 KiB name",
         [](const fs::path& p) {
             return Write(p, {{std::string(65000, 'n'), "x"}});
         }},
        {"1000000 tiny entries",
         [](const fs::path& p) {
             std::vector<Entry> entries;
             for (int i = 0; i < 1000000; ++i) entries.push_back({"m/" + std::to_string(i), ""});
             return Write(p, entries);
         }},
        {"1 GiB declared as 1 KiB", WriteLyingBomb},
    };
    double worstSeconds = 0, worstMiB = 0;
    int rc = 0;
    for (const auto& [shape, make] : shapes) {
        const fs::path archive = work / "hostile.zip";
        const fs::path target = work / "out";
        fs::remove_all(target);
        fs::create_directories(target);
        if (!make(archive)) {
            std::printf("%s: cannot write the archive\n", shape.c_str());
            rc = 1;
            continue;
        }
        std::string self = "/proc/self/exe", flag = "--extract", a = archive, t = target,
                    peak = work / "peak";
        char* args[] = {self.data(), flag.data(), a.data(), t.data(), peak.data(), nullptr};
        std::printf("%s: ", shape.c_str());
        std::fflush(stdout);
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (::posix_spawn(&pid, self.c_str(), nullptr, nullptr, args, environ) != 0) return 1;
        int status = 0;
        ::waitpid(pid, &status, 0);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        long kib = -1;
        if (std::FILE* in = std::fopen(peak.c_str(), "r")) {
            if (std::fscanf(in, "%ld", &kib) != 1) kib = -1;
            std::fclose(in);
        }
        const double mib = kib / 1024.0;
        if (!WIFEXITED(status)) {
            std::printf("ended by signal %d\n", WTERMSIG(status));
            rc = 1;
        }
        std::printf("%s: %.2f s, peak %.1f MiB\n", shape.c_str(), seconds, mib);
        worstSeconds = std::max(worstSeconds, seconds);
        worstMiB = std::max(worstMiB, mib);
        fs::remove(archive);
    }
    fs::remove_all(work);
    std::printf("worst %.2f s %.1f MiB\n", worstSeconds, worstMiB);
    return rc;
}
