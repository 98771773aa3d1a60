// Shared internals of the FTP service: the handle objects, the handle table, the error helpers,
// the control channel (command/response layer) and the data channel.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/wininet/parsers.h"
#include "platform/wininet/posix/socket.h"
#include "platform/wininet/wininet.h"

namespace wininet::detail {

struct Timeouts {
    int connectMs = 60000;
    int receiveMs = 30000;
    int sendMs = 30000;
};

enum class Kind { Root, Connection, File, Find };

// One object behind a HINTERNET. The table owns it; a call in progress holds a reference.
struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    // Releases what the object holds when its handle is closed; false and the last error set
    // when the close itself reports a failure.
    virtual bool OnClose() { return true; }

    const Kind kind;
    std::uintptr_t id = 0;
    std::uintptr_t parent = 0;
    Timeouts timeouts;
};

struct Root : Object {
    Root() : Object(Kind::Root) {}
};

struct Connection : Object {
    Connection() : Object(Kind::Connection) {}
    bool OnClose() override;

    Socket control;
    Address peer;   // the server's end of the control connection
    Address local;  // our end, where active-mode data connections listen
    ReplyParser parser;
    std::vector<char> input = std::vector<char>(16 * 1024);
    std::size_t inputStart = 0, inputEnd = 0;

    bool passive = false;
    bool broken = false;  // the control stream is lost or out of step: refuse further calls
    bool mlsd = false;
    bool noEpsv = false, noEprt = false;
    char type = 0;                // TYPE last sent ('A' or 'I'), 0 before the first
    std::uintptr_t openFile = 0;  // the file handle of a running transfer
    std::uintptr_t openFind = 0;  // the find handle, while one is open
};

struct File : Object {
    static constexpr std::size_t kBufferSize = 256 * 1024;

    File() : Object(Kind::File) {}
    bool OnClose() override;

    std::shared_ptr<Connection> connection;
    Socket data;
    bool reading = true;
    std::unique_ptr<char[]> buffer{new char[kBufferSize]};
    std::size_t start = 0, end = 0;  // unread bytes (reading) or pending bytes (writing: end)
    bool dataEnded = false;          // the data connection reached its end
    bool finished = false;           // the final reply was read
    DWORD failure = 0;               // a failure that later calls repeat
    // Binary downloads: the size the server announced (150 reply or SIZE), if it did; data
    // that ends before it is a failed transfer.
    std::optional<std::uint64_t> expected;
    std::uint64_t received = 0;
    // A bound on the whole transfer (listings), beside the receive timeout of each read.
    std::optional<Deadline> deadline;
};

struct Find : Object {
    Find() : Object(Kind::Find) {}
    bool OnClose() override;

    std::shared_ptr<Connection> connection;
    std::vector<WIN32_FIND_DATAA> entries;
    std::size_t next = 0;
};

// ---- handles.cpp: the handle table
HINTERNET Register(std::shared_ptr<Object> object, std::uintptr_t parent);
std::shared_ptr<Object> Lookup(HINTERNET handle);
std::uintptr_t IdOf(HINTERNET handle);

// ---- errors.cpp
// Sets the thread's last error and returns `result`, so that calls end with one statement.
template <typename T>
T Fail(DWORD error, T result) {
    SetLastError(error);
    return result;
}
// Records a reply as the thread's last response (InternetGetLastResponseInfoA).
void KeepResponse(const Reply& reply);
// The code of the thread's last reply.
int LastResponseCode();
// The error number for a reply code; 0 for a positive reply.
DWORD ReplyError(int code);
// Whether a name may go into a command: no CR, LF, and of a sane length.
bool SafeName(LPCSTR name);
// The error of a reply that does not do what the command needed. A negative reply is its own
// description; a positive one at the wrong moment is kept behind the words `what`, so that
// the last response never presents a failure as a success.
DWORD UnexpectedReply(const Reply& reply, const std::string& what);
// The error of a reply, kept as the last response behind the words `what`.
DWORD DescribedFailure(const Reply& reply, const std::string& what);

// ---- connection.cpp: the command/response layer
// Reads one reply within the receive timeout (the whole reply, not each read); 0 or the error
// (the connection is then broken).
DWORD ReadReply(Connection& c, Reply& reply);
// Whether bytes of a reply are already received and not yet taken.
bool ReplyBuffered(const Connection& c);
// Sends one command line and reads its reply; 0 or the error of the exchange (a negative
// reply is not an error here: the caller looks at reply.code).
DWORD Command(Connection& c, std::string_view line, Reply& reply);
// Command() expecting a reply of class 2 (or 3 with `intermediateOk`): 0 or the error
// number, negative replies mapped by the reply table.
DWORD Expect(Connection& c, std::string_view line, Reply& reply, bool intermediateOk = false);
// Sends TYPE A or TYPE I as the transfer flags ask, unless it is already the type in use.
DWORD EnsureType(Connection& c, DWORD flags);
// Checks that a call may use the connection now (not broken, no transfer running).
DWORD ConnectionReady(const Connection& c);
// The connection behind a handle, ready for a command; nullptr and `error` set otherwise
// (invalid handle, other kind of handle, transfer running, connection lost).
std::shared_ptr<Connection> ReadyConnection(HINTERNET handle, DWORD& error);

// ---- data_channel.cpp
// Opens the data connection for `command` (RETR, STOR, LIST, MLSD ...) and sends it; on success
// `data` is connected and the server's preliminary reply was read.
// `preliminary` receives the server's 1xx reply.
DWORD OpenTransfer(Connection& c, const std::string& command, Socket& data,
                   Reply* preliminary = nullptr);
// Reads into out (at most n bytes); got 0 at the end of the data. At the end the final reply
// is read; a negative one is the error.
DWORD ReadData(File& f, char* out, std::size_t n, std::size_t& got);
// Sends bytes through the file's buffer.
DWORD WriteData(File& f, const char* in, std::size_t n);
// Ends the transfer: flushes and closes the data connection, reads the final reply.
DWORD FinishTransfer(File& f);

}  // namespace wininet::detail
