// Times the extraction of a ~256 MiB archive of ~2,000 files through Shell.Application
// (NameSpace, Items, CopyHere: the road the installer takes) and through `unzip -o -q`, in fresh
// folders, and prints both times and, last, "ratio <ours / unzip>". Needs no arguments and
// removes everything it made.
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "platform/shell/shell.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 2000;
constexpr std::uint64_t kTotalBytes = 256ull << 20;
constexpr int kRounds = 3;

// Half the files are text-like (deflate shrinks them), half random (it cannot).
std::string Content(std::mt19937_64& gen, std::size_t size, bool compressible) {
    std::string out(size, '\0');
    if (!compressible) {
        for (std::size_t i = 0; i + 8 <= size; i += 8) {
            const std::uint64_t v = gen();
            std::memcpy(&out[i], &v, 8);
        }
        return out;
    }
    static const char* words[] = {"cliente ", "produto ", "estoque ", "pedido ", "valor ",
                                  "data ",    "nota ",    "fiscal ",  "\r\n",    "total "};
    std::size_t at = 0;
    while (at < size) {
        const char* word = words[gen() % 10];
        for (const char* p = word; *p != '\0' && at < size; ++p) out[at++] = *p;
    }
    return out;
}

bool MakeArchive(const fs::path& path) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) return false;
    std::mt19937_64 gen(2024);
    std::vector<std::string> contents;  // libzip reads the buffers at zip_close
    contents.reserve(kFiles);
    const std::uint64_t mean = kTotalBytes / kFiles;
    for (int i = 0; i < kFiles; ++i) {
        const auto size = static_cast<std::size_t>(mean / 4 + gen() % (mean * 3 / 2));
        contents.push_back(Content(gen, size, i % 2 == 0));
        const std::string name = "pasta" + std::to_string(i % 40) + "/sub" + std::to_string(i % 7) +
                                 "/arquivo" + std::to_string(i) + ".dat";
        zip_source_t* source =
            zip_source_buffer(archive, contents.back().data(), contents.back().size(), 0);
        const zip_int64_t index = zip_file_add(archive, name.c_str(), source, 0);
        if (index < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 0);
    }
    return zip_close(archive) == 0;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double ExtractOurs(const fs::path& archive, const fs::path& target) {
    fs::create_directories(target);
    const auto start = std::chrono::steady_clock::now();
    shell::ShellApplication app;
    auto zip = app.NameSpace(files::ToWindowsPath(archive));
    auto folder = app.NameSpace(files::ToWindowsPath(target));
    if (zip == nullptr || folder == nullptr) throw std::runtime_error("cannot open the archive");
    folder->CopyHere(zip->Items());
    return Seconds(start);
}

double ExtractUnzip(const fs::path& archive, const fs::path& target) {
    fs::create_directories(target);
    std::vector<std::string> args{"unzip", "-o", "-q", archive.string(), "-d", target.string()};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "unzip", nullptr, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start unzip");
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("unzip failed");
    return Seconds(start);
}

std::uintmax_t FileCount(const fs::path& root) {
    std::uintmax_t n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) n += entry.is_regular_file();
    return n;
}

}  // namespace

int main() {
    std::string pattern =
        (fs::path(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") / "bench-extract-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path work = pattern;
    int rc = 0;
    try {
        const fs::path archive = work / "arquivo.zip";
        const auto made = std::chrono::steady_clock::now();
        if (!MakeArchive(archive)) throw std::runtime_error("cannot write the archive");
        std::printf("archive: %d files, %.1f MiB compressed, made in %.1f s\n", kFiles,
                    fs::file_size(archive) / 1048576.0, Seconds(made));

        // Warm the page cache with one run of each, then keep the best of the timed rounds.
        ExtractUnzip(archive, work / "warm-unzip");
        ExtractOurs(archive, work / "warm-ours");
        if (FileCount(work / "warm-ours") != FileCount(work / "warm-unzip")) {
            throw std::runtime_error("the two extractions differ");
        }
        fs::remove_all(work / "warm-unzip");
        fs::remove_all(work / "warm-ours");

        double ours = 1e9, unzip = 1e9;
        for (int round = 0; round < kRounds; ++round) {
            const fs::path a = work / ("ours" + std::to_string(round));
            const fs::path b = work / ("unzip" + std::to_string(round));
            ours = std::min(ours, ExtractOurs(archive, a));
            unzip = std::min(unzip, ExtractUnzip(archive, b));
            fs::remove_all(a);
            fs::remove_all(b);
        }
        std::printf("CopyHere  %.3f s (best of %d)\n", ours, kRounds);
        std::printf("unzip     %.3f s (best of %d)\n", unzip, kRounds);
        std::printf("ratio %.3f\n", ours / unzip);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_extract: %s\n", e.what());
        rc = 1;
    }
    std::error_code ec;
    fs::remove_all(work, ec);
    return rc;
}
