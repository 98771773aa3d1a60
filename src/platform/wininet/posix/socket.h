// Non-blocking TCP sockets with timeouts for the FTP service. Every function returns 0 or the
// service's error number for the failure (timeout, refused, reset, ...).
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/kernel/wintypes.h"

namespace wininet::detail {

struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;

    int family() const { return storage.ss_family; }
    std::uint16_t port() const;
    void setPort(std::uint16_t port);
    // Same host address (the port is not compared).
    bool SameHost(const Address& other) const;
    // The numeric host text ("127.0.0.1", "::1").
    std::string HostText() const;
};

// The moment by which a whole exchange (a reply, a greeting, a listing) must be done, so that
// a peer sending a byte now and then cannot stretch it without end.
class Deadline {
  public:
    explicit Deadline(int timeoutMs) : end_(Clock::now() + std::chrono::milliseconds(timeoutMs)) {}
    // Milliseconds left, rounded up; 0 once the moment has passed.
    int Left() const;

  private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point end_;
};

class Socket {
  public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() { Close(); }
    Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Close();
    // Closes with a reset, so that the peer sees the stream cut rather than ended.
    void Abort();

    // Connects to one address within timeoutMs.
    DWORD Connect(const Address& to, int timeoutMs);
    // Sends all bytes, waiting at most timeoutMs for each chance to write.
    DWORD SendAll(const void* data, std::size_t n, int timeoutMs);
    // Receives what is there (at least one byte, waiting at most timeoutMs); got 0 means the
    // peer closed the connection.
    DWORD Receive(void* buffer, std::size_t n, int timeoutMs, std::size_t& got);
    // Whether bytes (or the end of the stream) can be read without waiting.
    bool Readable() const;

    // A listening socket on the host of `local`, any port.
    DWORD Listen(const Address& local);
    // Accepts one connection within timeoutMs.
    DWORD Accept(Socket& accepted, Address& peer, int timeoutMs);

    Address LocalAddress() const;
    Address PeerAddress() const;

  private:
    int fd_ = -1;
};

// Waits until `a` or `b` is readable; returns 1 or 2, 0 on timeout, -1 on error.
int WaitReadable(const Socket& a, const Socket& b, int timeoutMs);

// The error number of a failed socket call (errno).
DWORD SocketError(int err);

}  // namespace wininet::detail
