#include "platform/wininet/posix/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/wininet/wininet.h"

namespace wininet::detail {
namespace {

// poll() that resumes after signals.
int PollRetry(pollfd* fds, nfds_t n, int timeoutMs) {
    for (;;) {
        int r = poll(fds, n, timeoutMs);
        if (r >= 0 || errno != EINTR) return r;
    }
}

DWORD WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int r = PollRetry(&p, 1, timeoutMs);
    if (r == 0) return ERROR_INTERNET_TIMEOUT;
    if (r < 0) return SocketError(errno);
    return 0;
}

int NewSocket(int family) {
    return socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
}

}  // namespace

int Deadline::Left() const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::uint16_t Address::port() const {
    if (family() == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in&>(storage).sin_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in6&>(storage).sin6_port);
}

void Address::setPort(std::uint16_t port) {
    if (family() == AF_INET) {
        reinterpret_cast<sockaddr_in&>(storage).sin_port = htons(port);
    } else {
        reinterpret_cast<sockaddr_in6&>(storage).sin6_port = htons(port);
    }
}

bool Address::SameHost(const Address& other) const {
    if (family() != other.family()) return false;
    if (family() == AF_INET) {
        return reinterpret_cast<const sockaddr_in&>(storage).sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in&>(other.storage).sin_addr.s_addr;
    }
    return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(storage).sin6_addr,
                       &reinterpret_cast<const sockaddr_in6&>(other.storage).sin6_addr,
                       sizeof(in6_addr)) == 0;
}

std::string Address::HostText() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (family() == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(storage).sin_addr, text,
                  sizeof text);
    } else {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(storage).sin6_addr, text,
                  sizeof text);
    }
    return text;
}

DWORD SocketError(int err) {
    switch (err) {
        case ECONNRESET:
        case EPIPE:
            return ERROR_INTERNET_CONNECTION_RESET;
        case ECONNREFUSED:
        case ENETUNREACH:
        case EHOSTUNREACH:
        case EADDRNOTAVAIL:
            return ERROR_INTERNET_CANNOT_CONNECT;
        case ETIMEDOUT:
            return ERROR_INTERNET_TIMEOUT;
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
            return ERROR_INTERNET_OUT_OF_HANDLES;
        default:
            return ERROR_INTERNET_CONNECTION_ABORTED;
    }
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void Socket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void Socket::Abort() {
    if (fd_ < 0) return;
    linger l{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    Close();
}

DWORD Socket::Connect(const Address& to, int timeoutMs) {
    Close();
    fd_ = NewSocket(to.family());
    if (fd_ < 0) return SocketError(errno);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&to.storage), to.length) == 0) return 0;
    if (errno != EINPROGRESS) {
        DWORD e = errno == ETIMEDOUT ? ERROR_INTERNET_TIMEOUT : ERROR_INTERNET_CANNOT_CONNECT;
        Close();
        return e;
    }
    if (DWORD e = WaitFor(fd_, POLLOUT, timeoutMs)) {
        Close();
        return e;
    }
    int err = 0;
    socklen_t len = sizeof err;
    getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
    if (err != 0) {
        Close();
        return err == ETIMEDOUT ? ERROR_INTERNET_TIMEOUT : ERROR_INTERNET_CANNOT_CONNECT;
    }
    return 0;
}

DWORD Socket::SendAll(const void* data, std::size_t n, int timeoutMs) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t sent = ::send(fd_, p, n, MSG_NOSIGNAL);
        if (sent > 0) {
            p += sent;
            n -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (DWORD e = WaitFor(fd_, POLLOUT, timeoutMs)) return e;
            continue;
        }
        return SocketError(errno);
    }
    return 0;
}

DWORD Socket::Receive(void* buffer, std::size_t n, int timeoutMs, std::size_t& got) {
    got = 0;
    for (;;) {
        ssize_t r = ::recv(fd_, buffer, n, 0);
        if (r >= 0) {
            got = static_cast<std::size_t>(r);
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return SocketError(errno);
        if (DWORD e = WaitFor(fd_, POLLIN, timeoutMs)) return e;
    }
}

bool Socket::Readable() const {
    pollfd p{fd_, POLLIN, 0};
    return PollRetry(&p, 1, 0) > 0;
}

DWORD Socket::Listen(const Address& local) {
    Close();
    fd_ = NewSocket(local.family());
    if (fd_ < 0) return SocketError(errno);
    Address any = local;
    any.setPort(0);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&any.storage), any.length) != 0 ||
        ::listen(fd_, 4) != 0) {
        DWORD e = SocketError(errno);
        Close();
        return e;
    }
    return 0;
}

DWORD Socket::Accept(Socket& accepted, Address& peer, int timeoutMs) {
    for (;;) {
        peer.length = sizeof peer.storage;
        int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer.storage), &peer.length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            accepted = Socket(fd);
            return 0;
        }
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return SocketError(errno);
        if (DWORD e = WaitFor(fd_, POLLIN, timeoutMs)) return e;
    }
}

Address Socket::LocalAddress() const {
    Address a;
    a.length = sizeof a.storage;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a.storage), &a.length);
    return a;
}

Address Socket::PeerAddress() const {
    Address a;
    a.length = sizeof a.storage;
    getpeername(fd_, reinterpret_cast<sockaddr*>(&a.storage), &a.length);
    return a;
}

int WaitReadable(const Socket& a, const Socket& b, int timeoutMs) {
    pollfd p[2] = {{a.fd(), POLLIN, 0}, {b.fd(), POLLIN, 0}};
    int r = PollRetry(p, 2, timeoutMs);
    if (r <= 0) return r;
    if (p[0].revents != 0) return 1;
    return 2;
}

}  // namespace wininet::detail
