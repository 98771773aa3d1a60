// The control channel: one command, one whole reply, within the timeouts; and the connection
// handle (InternetConnectA): resolving, connecting, greeting, login and FEAT.
#include <netdb.h>

#include <algorithm>
#include <cstring>

#include "platform/wininet/posix/internal.h"

namespace wininet::detail {
namespace {

constexpr int kQuitWaitMs = 500;

struct ServerName {
    std::string host;
    int port = -1;  // -1: none given
};

// "host", "host:port", "[v6]", "[v6]:port" or a bare IPv6 address; false when malformed.
bool SplitServerName(std::string_view text, ServerName& out) {
    std::string_view portText;
    if (!text.empty() && text.front() == '[') {
        std::size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        out.host = std::string(text.substr(1, close - 1));
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            portText = rest.substr(1);
            if (portText.empty()) return false;
        }
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        std::size_t colon = text.find(':');
        out.host = std::string(text.substr(0, colon));
        portText = text.substr(colon + 1);
        if (portText.empty()) return false;
    } else {
        out.host = std::string(text);
    }
    if (out.host.empty()) return false;
    if (!portText.empty()) {
        if (portText.size() > 5) return false;
        int port = 0;
        for (char ch : portText) {
            if (ch < '0' || ch > '9') return false;
            port = port * 10 + (ch - '0');
        }
        if (port > 65535) return false;
        out.port = port;
    }
    return true;
}

// Connects to the first address of `host` that answers.
DWORD ConnectControl(const std::string& host, int port, const Deadline& deadline, Socket& control) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || list == nullptr) {
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    }
    DWORD error = ERROR_INTERNET_CANNOT_CONNECT;
    for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        Address to;
        std::memcpy(&to.storage, ai->ai_addr, ai->ai_addrlen);
        to.length = ai->ai_addrlen;
        error = control.Connect(to, deadline.Left());
        if (error == 0) break;
    }
    freeaddrinfo(list);
    return error;
}

// Takes one reply out of what was received so far, if a whole one is there.
ReplyParser::State TakeBuffered(Connection& c, Reply& reply) {
    if (c.inputStart == c.inputEnd) return ReplyParser::State::Incomplete;
    std::size_t used = 0;
    auto state = c.parser.Feed(
        std::string_view(c.input.data() + c.inputStart, c.inputEnd - c.inputStart), used);
    c.inputStart += used;
    if (state == ReplyParser::State::Done) reply = c.parser.Take();
    return state;
}

DWORD ReadReplyBy(Connection& c, Reply& reply, const Deadline& deadline, bool keep) {
    if (c.broken) return ERROR_FTP_DROPPED;
    for (;;) {
        auto state = TakeBuffered(c, reply);
        if (state == ReplyParser::State::Done) {
            if (keep) KeepResponse(reply);
            return 0;
        }
        if (state == ReplyParser::State::Bad) {
            c.broken = true;
            return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        }
        c.inputStart = c.inputEnd = 0;
        std::size_t got = 0;
        DWORD e = c.control.Receive(c.input.data(), c.input.size(), deadline.Left(), got);
        if (e == 0 && got == 0) e = ERROR_INTERNET_CONNECTION_ABORTED;
        if (e != 0) {
            c.broken = true;
            return e;
        }
        c.inputEnd = got;
    }
}

// Replies that came after their command was done with (a late 226 after an aborted read, ...)
// would answer the next command: read and drop them first.
DWORD DropStaleReplies(Connection& c) {
    while (c.inputStart < c.inputEnd || c.control.Readable()) {
        Reply stale;
        if (DWORD e = ReadReplyBy(c, stale, Deadline(c.timeouts.receiveMs), false)) return e;
    }
    return 0;
}

DWORD Login(Connection& c, const std::string& user, const std::string& password, Reply& reply) {
    if (DWORD e = Command(c, "USER " + user, reply)) return e;
    if (reply.code == 331) {
        if (DWORD e = Command(c, "PASS " + password, reply)) return e;
    }
    if (reply.code == 230 || reply.code == 202) return 0;
    if (reply.code == 332 || reply.code == 331) return ERROR_INTERNET_LOGIN_FAILURE;
    return UnexpectedReply(reply, "Login not completed");
}

// The greeting counts against the connect timeout, with the connection itself.
DWORD Greeting(Connection& c, const Deadline& deadline) {
    Reply reply;
    do {
        if (DWORD e = ReadReplyBy(c, reply, deadline, true)) return e;
    } while (reply.code == 120);  // "ready in n minutes": the 220 follows
    if (reply.code == 220) return 0;
    return UnexpectedReply(reply, "No greeting from the server");
}

}  // namespace

DWORD ReadReply(Connection& c, Reply& reply) {
    return ReadReplyBy(c, reply, Deadline(c.timeouts.receiveMs), true);
}

bool ReplyBuffered(const Connection& c) { return c.inputStart < c.inputEnd; }

DWORD Command(Connection& c, std::string_view line, Reply& reply) {
    if (c.broken) return ERROR_FTP_DROPPED;
    if (DWORD e = DropStaleReplies(c)) return e;
    std::string out(line);
    out += "\r\n";
    if (DWORD e = c.control.SendAll(out.data(), out.size(), c.timeouts.sendMs)) {
        c.broken = true;
        return e;
    }
    return ReadReply(c, reply);
}

DWORD Expect(Connection& c, std::string_view line, Reply& reply, bool intermediateOk) {
    if (DWORD e = Command(c, line, reply)) return e;
    if (reply.code >= 200 && reply.code < 300) return 0;
    if (intermediateOk && reply.code >= 300 && reply.code < 400) return 0;
    return UnexpectedReply(reply, "Unexpected reply to " + std::string(line.substr(0, 4)));
}

DWORD EnsureType(Connection& c, DWORD flags) {
    const char want = (flags & 3) == FTP_TRANSFER_TYPE_ASCII ? 'A' : 'I';
    if (c.type == want) return 0;
    Reply reply;
    if (DWORD e = Expect(c, want == 'A' ? "TYPE A" : "TYPE I", reply)) return e;
    c.type = want;
    return 0;
}

DWORD ConnectionReady(const Connection& c) {
    if (c.openFile != 0) return ERROR_FTP_TRANSFER_IN_PROGRESS;
    if (c.broken) return ERROR_FTP_DROPPED;
    return 0;
}

std::shared_ptr<Connection> ReadyConnection(HINTERNET handle, DWORD& error) {
    auto object = Lookup(handle);
    if (!object) {
        error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (object->kind != Kind::Connection) {
        error = ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
        return nullptr;
    }
    auto c = std::static_pointer_cast<Connection>(object);
    error = ConnectionReady(*c);
    return error == 0 ? c : nullptr;
}

bool Connection::OnClose() {
    if (!broken && control.valid()) {
        Reply reply;
        std::string quit = "QUIT\r\n";
        if (control.SendAll(quit.data(), quit.size(), kQuitWaitMs) == 0) {
            ReadReplyBy(*this, reply, Deadline(std::min(kQuitWaitMs, timeouts.receiveMs)), false);
        }
    }
    broken = true;
    control.Close();
    return true;
}

}  // namespace wininet::detail

using namespace wininet::detail;

HINTERNET InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                           LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                           DWORD_PTR /*dwContext*/) {
    if (lpszServerName == nullptr || *lpszServerName == '\0' || !SafeName(lpszServerName) ||
        dwService != INTERNET_SERVICE_FTP) {
        return Fail(ERROR_INVALID_PARAMETER, nullptr);
    }
    if ((lpszUserName != nullptr && !SafeName(lpszUserName)) ||
        (lpszPassword != nullptr && !SafeName(lpszPassword))) {
        return Fail(ERROR_INVALID_PARAMETER, nullptr);
    }
    auto parent = Lookup(hInternet);
    if (!parent) return Fail(ERROR_INVALID_HANDLE, nullptr);
    if (parent->kind != Kind::Root) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE, nullptr);

    ServerName server;
    if (!SplitServerName(lpszServerName, server)) {
        return Fail(ERROR_INTERNET_NAME_NOT_RESOLVED, nullptr);
    }
    int port = server.port > 0 ? server.port : nServerPort;
    if (port == 0) port = INTERNET_DEFAULT_FTP_PORT;

    auto c = std::make_shared<Connection>();
    c->timeouts = parent->timeouts;
    c->passive = (dwFlags & INTERNET_FLAG_PASSIVE) != 0;
    const Deadline connectBy(c->timeouts.connectMs);
    if (DWORD e = ConnectControl(server.host, port, connectBy, c->control)) {
        return Fail(e, nullptr);
    }
    c->peer = c->control.PeerAddress();
    c->local = c->control.LocalAddress();

    const bool anonymous = lpszUserName == nullptr || *lpszUserName == '\0';
    const std::string user = anonymous ? "anonymous" : lpszUserName;
    const std::string password = lpszPassword != nullptr && *lpszPassword != '\0'
                                     ? lpszPassword
                                     : (anonymous ? "IEUser@" : "");
    if (DWORD e = Greeting(*c, connectBy)) return Fail(e, nullptr);
    Reply login;
    if (DWORD e = Login(*c, user, password, login)) return Fail(e, nullptr);

    // FEAT tells whether MLSD may be used; a server without FEAT simply gets LIST. It is the
    // service's own question: the login reply stays the last response.
    Reply feat;
    if (DWORD e = Command(*c, "FEAT", feat)) return Fail(e, nullptr);
    KeepResponse(login);
    c->mlsd = feat.code == 211 && FeatOffersMlsd(feat.text);
    return Register(std::move(c), IdOf(hInternet));
}
