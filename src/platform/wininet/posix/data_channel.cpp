// The data channel: passive (EPSV, then PASV) and active (EPRT, then PORT) connections, the
// buffered reads and writes of a transfer, and its end.
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

#include "platform/wininet/posix/internal.h"

namespace wininet::detail {
namespace {

DWORD Negative(const Reply& reply) { return UnexpectedReply(reply, "No data connection"); }

// "Not implemented" and "not understood" replies: the extended command is not offered.
bool Unsupported(int code) { return code == 500 || code == 501 || code == 502 || code == 522; }

// Asks for a passive port and connects to it on the server's own address: the address in a
// 227 reply is never used, so a server cannot send us to another host.
DWORD ConnectPassive(Connection& c, Socket& data) {
    Reply reply;
    std::optional<std::uint16_t> port;
    if (!c.noEpsv) {
        if (DWORD e = Command(c, "EPSV", reply)) return e;
        if (reply.code == 229) {
            port = ParseEpsvPort(reply.text);
            if (!port) return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        } else if (Unsupported(reply.code)) {
            c.noEpsv = true;
        } else {
            return Negative(reply);
        }
    }
    if (!port) {
        if (DWORD e = Command(c, "PASV", reply)) return e;
        if (reply.code != 227) return Negative(reply);
        port = ParsePasvPort(reply.text);
        if (!port) return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    }
    Address to = c.peer;
    to.setPort(*port);
    return data.Connect(to, c.timeouts.connectMs);
}

// Opens a listening socket on our end of the control connection and tells the server its port.
DWORD ListenActive(Connection& c, Socket& listener) {
    if (DWORD e = listener.Listen(c.local)) return e;
    const Address here = listener.LocalAddress();
    const std::string host = here.HostText();
    const std::string port = std::to_string(here.port());
    Reply reply;
    if (!c.noEprt) {
        const char* proto = here.family() == AF_INET ? "1" : "2";
        if (DWORD e =
                Command(c, "EPRT |" + std::string(proto) + "|" + host + "|" + port + "|", reply)) {
            return e;
        }
        if (reply.code >= 200 && reply.code < 300) return 0;
        if (!Unsupported(reply.code) || here.family() != AF_INET) return Negative(reply);
        c.noEprt = true;
    }
    std::string line = "PORT " + host;
    for (char& ch : line) {
        if (ch == '.') ch = ',';
    }
    line += "," + std::to_string(here.port() / 256) + "," + std::to_string(here.port() % 256);
    if (DWORD e = Command(c, line, reply)) return e;
    if (reply.code >= 200 && reply.code < 300) return 0;
    return Negative(reply);
}

// Waits for the server's data connection, taking it only from the server's own address, all
// within one receive timeout. A reply on the control connection meanwhile (or already
// received) means the server gave up.
DWORD AcceptActive(Connection& c, Socket& listener, Socket& data) {
    const Deadline deadline(c.timeouts.receiveMs);
    std::string refused;  // the foreign addresses turned away
    for (;;) {
        // A connection already waiting goes first; then a reply that is already here.
        const bool buffered = ReplyBuffered(c);
        int ready = WaitReadable(listener, c.control, buffered ? 0 : deadline.Left());
        if (ready == 0 && buffered) ready = 2;
        if (ready == 0) return ERROR_INTERNET_TIMEOUT;
        if (ready < 0) return ERROR_INTERNET_CONNECTION_ABORTED;
        if (ready == 2) {
            Reply reply;
            if (DWORD e = ReadReply(c, reply)) return e;
            if (refused.empty())
                return UnexpectedReply(reply, "No data connection from the server");
            return DescribedFailure(reply, "No data connection: the connection from " + refused +
                                               ", not the server's address, was refused");
        }
        Socket accepted;
        Address from;
        if (DWORD e = listener.Accept(accepted, from, deadline.Left())) return e;
        if (from.SameHost(c.peer)) {
            data = std::move(accepted);
            return 0;
        }
        // Someone else: drop it and keep waiting for the server.
        if (refused.find(from.HostText()) == std::string::npos) {
            refused += (refused.empty() ? "" : ", ") + from.HostText();
        }
    }
}

}  // namespace

DWORD OpenTransfer(Connection& c, const std::string& command, Socket& data, Reply* preliminary) {
    Socket listener;
    if (c.passive) {
        if (DWORD e = ConnectPassive(c, data)) return e;
    } else {
        if (DWORD e = ListenActive(c, listener)) return e;
    }
    Reply reply;
    if (DWORD e = Command(c, command, reply)) return e;
    if (reply.code >= 200 && reply.code < 300) {
        // A final reply without a data connection is a protocol error for a transfer command.
        return UnexpectedReply(reply, "No data connection: a final reply came at once");
    }
    if (reply.code >= 300) return Negative(reply);
    if (preliminary != nullptr) *preliminary = reply;
    if (!c.passive) return AcceptActive(c, listener, data);
    return 0;
}

DWORD ReadData(File& f, char* out, std::size_t n, std::size_t& got) {
    got = 0;
    Connection& c = *f.connection;
    // One receive timeout for the whole call, so that bytes trickling in cannot stretch it;
    // what came meanwhile is returned (a listing's own deadline is a failure).
    const Deadline call(c.timeouts.receiveMs);
    while (got < n) {
        std::size_t have = f.end - f.start;
        if (have > 0) {
            std::size_t take = have < n - got ? have : n - got;
            std::memcpy(out + got, f.buffer.get() + f.start, take);
            f.start += take;
            got += take;
            continue;
        }
        if (f.dataEnded) break;
        f.start = f.end = 0;
        std::size_t received = 0;
        int timeoutMs = call.Left();
        if (f.deadline) timeoutMs = std::min(timeoutMs, f.deadline->Left());
        if (DWORD e = f.data.Receive(f.buffer.get(), File::kBufferSize, timeoutMs, received)) {
            if (e == ERROR_INTERNET_TIMEOUT && got > 0 && !f.deadline) return 0;
            f.data.Close();
            return e;
        }
        if (received == 0) {
            f.dataEnded = true;
            f.data.Close();
            if (DWORD e = FinishTransfer(f)) return e;
            // A server may close early and still call the transfer complete.
            if (f.expected && f.received < *f.expected) return ERROR_INTERNET_CONNECTION_ABORTED;
            break;
        }
        f.received += received;
        f.end = received;
    }
    return 0;
}

DWORD WriteData(File& f, const char* in, std::size_t n) {
    Connection& c = *f.connection;
    if (n >= File::kBufferSize - f.end) {
        if (DWORD e = f.data.SendAll(f.buffer.get(), f.end, c.timeouts.sendMs)) return e;
        f.end = 0;
        if (n >= File::kBufferSize) return f.data.SendAll(in, n, c.timeouts.sendMs);
    }
    std::memcpy(f.buffer.get() + f.end, in, n);
    f.end += n;
    return 0;
}

DWORD FinishTransfer(File& f) {
    if (f.finished) return 0;
    f.finished = true;
    Connection& c = *f.connection;
    if (!f.reading && f.data.valid() && f.end > 0) {
        DWORD e = f.data.SendAll(f.buffer.get(), f.end, c.timeouts.sendMs);
        f.end = 0;
        if (e != 0) {
            f.data.Close();
            // The server's answer tells more than the broken pipe, when it comes.
            Reply reply;
            if (ReadReply(c, reply) == 0 && reply.code >= 400) return Negative(reply);
            return e;
        }
    }
    // Closing the data connection ends an upload, or abandons a download not read to its end.
    f.data.Close();
    Reply reply;
    if (DWORD e = ReadReply(c, reply)) return e;
    if (reply.code >= 100 && reply.code < 200) {
        if (DWORD e = ReadReply(c, reply)) return e;
    }
    if (reply.code >= 400) return Negative(reply);
    return 0;
}

}  // namespace wininet::detail
