// Download benchmark: a 256 MiB file served by a local pyftpdlib server, fetched once through
// cFTP::FTPDownloadFile (in a process of its own, so its peak memory is the client's alone) and
// once through curl, both in passive mode. Prints both times, the client's peak memory and, on
// the last line, "ratio <client time / curl time>".
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ftp/cFTP.h"
#include "platform/crypto/crypto.h"
#include "platform/files/files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kFileSize = 256ll * 1024 * 1024;
constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench-pass";

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void WriteTestFile(const fs::path& path) {
    std::vector<char> block(1 << 20);
    std::uint32_t x = 2463534242u;
    std::ofstream out(path, std::ios::binary);
    for (std::int64_t written = 0; written < kFileSize; written += block.size()) {
        for (std::size_t i = 0; i < block.size(); i += 4) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            std::memcpy(&block[i], &x, 4);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

bool SameFiles(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::file_size(a, ec) != fs::file_size(b, ec) || ec) return false;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (fa && fb) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount()) return false;
        if (std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(fa.gcount())) != 0) {
            return false;
        }
    }
    return fa.eof() && fb.eof();
}

long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// The client side, run in its own process: downloads and prints "<seconds> <peak KiB>".
int RunClient(const std::string& server, const std::string& remote, const fs::path& local) {
    Clock::time_point lastYield{};
    std::int64_t yields = 0;
    // The window's yield looks at the clock and returns at once when nothing is pending.
    cFTP ftp(cFTP::Host{[&] {
                            lastYield = Clock::now();
                            ++yields;
                        },
                        nullptr});
    volatile std::int32_t shownPercent = 0;
    // The progress handler's few integer operations: the percentage of the bar.
    ftp.FileTransferProgress = [&](std::int32_t& current, std::int32_t& total) {
        const std::int32_t percent =
            static_cast<std::int32_t>(static_cast<std::int64_t>(current) * 100 / total);
        if (percent != shownPercent) shownPercent = percent;
    };
    ftp.SetTransferBinary();
    ftp.SetModePassive();
    const auto start = Clock::now();
    if (!ftp.OpenConnection(server, kUser, kPassword)) {
        std::fprintf(stderr, "open failed: %s\n", ftp.GetLastErrorMessage().c_str());
        return 1;
    }
    bool ok = ftp.FTPDownloadFile(files::ToWindowsPath(local), remote);
    // The installer checks the archive's signature before it takes it: the SHA-256 of the whole
    // file is part of its download (the signature check itself is a fraction of a millisecond).
    if (ok) {
        std::ifstream in(local, std::ios::binary);
        std::vector<char> block(1 << 16);
        crypto::Sha256 hash;
        while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount())
            hash.Update(block.data(), static_cast<std::size_t>(in.gcount()));
        const crypto::Digest digest = hash.Final();
        std::fprintf(stderr, "SHA-256 %s\n", crypto::Hex(digest).c_str());
    }
    const double elapsed = Seconds(Clock::now() - start);
    ftp.CloseConnection();
    if (!ok) {
        std::fprintf(stderr, "download failed: %s\n", ftp.GetLastErrorMessage().c_str());
        return 1;
    }
    std::printf("%.6f %ld %lld\n", elapsed, PeakResidentKiB(), static_cast<long long>(yields));
    return 0;
}

struct Child {
    pid_t pid = -1;
    int in = -1;   // our end of its stdin
    int out = -1;  // our end of its stdout
};

Child Spawn(const std::vector<std::string>& args, bool pipeStdin) {
    int inPipe[2] = {-1, -1}, outPipe[2];
    if (pipeStdin && ::pipe2(inPipe, O_CLOEXEC) != 0) return {};
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (pipeStdin) posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Child child;
    if (posix_spawnp(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        child.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (pipeStdin) ::close(inPipe[0]);
    ::close(outPipe[1]);
    child.in = pipeStdin ? inPipe[1] : -1;
    child.out = outPipe[0];
    return child;
}

std::string ReadLine(int fd) {
    std::string line;
    char c;
    while (line.size() < 4096 && ::read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

int Wait(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The pyftpdlib server, stopped when this object goes away (by its pid, and by closing its stdin).
class Server {
  public:
    explicit Server(const fs::path& root) {
        child_ = Spawn({BENCH_PYTHON, BENCH_FTP_SERVER, "--root", root.string(), "--user", kUser,
                        "--password", kPassword, "--max-seconds", "600"},
                       true);
        if (child_.pid < 0) return;
        const std::string line = ReadLine(child_.out);
        if (line.rfind("PORT ", 0) == 0) port_ = std::atoi(line.c_str() + 5);
    }
    ~Server() {
        if (child_.pid < 0) return;
        ::close(child_.in);
        ::kill(child_.pid, SIGTERM);
        Wait(child_.pid);
        ::close(child_.out);
    }
    int port() const { return port_; }

  private:
    Child child_;
    int port_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--client")
        return RunClient(argv[2], argv[3], argv[4]);

    char pattern[] = "/tmp/bench-download-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const fs::path work = pattern;
    const fs::path root = work / "root";
    fs::create_directories(root);
    // A prefix of our own, so the client's Windows paths resolve the same on every machine.
    ::setenv("WINEPREFIX", (work / "prefix").c_str(), 1);

    int status = 1;
    {
        std::printf("creating a %lld MiB file\n", static_cast<long long>(kFileSize >> 20));
        WriteTestFile(root / "payload.bin");
        Server server(root);
        if (server.port() <= 0) {
            std::fprintf(stderr, "the FTP server did not start\n");
        } else {
            const std::string address = "127.0.0.1:" + std::to_string(server.port());

            // The client, in a process of its own.
            const fs::path clientFile = work / "client.bin";
            Child client = Spawn(
                {"/proc/self/exe", "--client", address, "payload.bin", clientFile.string()}, false);
            const std::string report = ReadLine(client.out);
            ::close(client.out);
            const int clientStatus = Wait(client.pid);
            double clientSeconds = 0;
            long peakKiB = 0;
            long long yields = 0;
            std::sscanf(report.c_str(), "%lf %ld %lld", &clientSeconds, &peakKiB, &yields);

            // curl, same server, same file, passive mode too.
            const fs::path curlFile = work / "curl.bin";
            const std::string url =
                std::string("ftp://") + kUser + ":" + kPassword + "@" + address + "/payload.bin";
            const auto curlStart = Clock::now();
            Child curl = Spawn({"curl", "-s", "--ftp-pasv", "-o", curlFile.string(), url}, false);
            ::close(curl.out);
            const int curlStatus = Wait(curl.pid);
            const double curlSeconds = Seconds(Clock::now() - curlStart);

            const bool clientOk = clientStatus == 0 && SameFiles(root / "payload.bin", clientFile);
            const bool curlOk = curlStatus == 0 && SameFiles(root / "payload.bin", curlFile);
            const double mib = static_cast<double>(kFileSize) / (1024.0 * 1024.0);
            std::printf("client: %.3f s (%.1f MiB/s), %s, %lld yields\n", clientSeconds,
                        mib / clientSeconds, clientOk ? "file verified" : "FILE WRONG", yields);
            std::printf("client peak memory: %.1f MiB (VmHWM of the client process)\n",
                        static_cast<double>(peakKiB) / 1024.0);
            std::printf("curl:   %.3f s (%.1f MiB/s), %s\n", curlSeconds, mib / curlSeconds,
                        curlOk ? "file verified" : "FILE WRONG");
            if (clientOk && curlOk) {
                std::printf("ratio %.3f\n", clientSeconds / curlSeconds);
                status = 0;
            }
        }
    }
    std::error_code ec;
    fs::remove_all(work, ec);
    return status;
}
