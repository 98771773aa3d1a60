// The handle tree: the table of open handles, the root handle, options, closing and autodial.
#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>
#include <unordered_map>

#include "platform/wininet/posix/internal.h"

namespace wininet::detail {
namespace {

constexpr DWORD kMaxTimeoutMs = 24u * 60 * 60 * 1000;

std::mutex tableMutex;
std::unordered_map<std::uintptr_t, std::shared_ptr<Object>> table;
// Handle values are distinct from small integers and never reused within a run.
std::uintptr_t nextId = 0xCC0000;
Timeouts defaultTimeouts;
std::atomic<bool> offlineForTesting{false};

// The handle and everything opened under it, parents before children; removed from the table.
std::vector<std::shared_ptr<Object>> DetachTree(std::uintptr_t id) {
    std::lock_guard lock(tableMutex);
    std::vector<std::shared_ptr<Object>> tree;
    auto it = table.find(id);
    if (it == table.end()) return tree;
    tree.push_back(it->second);
    for (std::size_t i = 0; i < tree.size(); ++i) {
        for (const auto& [childId, child] : table) {
            if (child->parent == tree[i]->id) tree.push_back(child);
        }
    }
    for (const auto& o : tree) table.erase(o->id);
    return tree;
}

}  // namespace

HINTERNET Register(std::shared_ptr<Object> object, std::uintptr_t parent) {
    std::lock_guard lock(tableMutex);
    nextId += 4;
    object->id = nextId;
    object->parent = parent;
    table.emplace(object->id, std::move(object));
    return reinterpret_cast<HINTERNET>(nextId);
}

std::shared_ptr<Object> Lookup(HINTERNET handle) {
    if (handle == nullptr) return nullptr;
    std::lock_guard lock(tableMutex);
    auto it = table.find(IdOf(handle));
    return it == table.end() ? nullptr : it->second;
}

std::uintptr_t IdOf(HINTERNET handle) { return reinterpret_cast<std::uintptr_t>(handle); }

}  // namespace wininet::detail

using namespace wininet::detail;

namespace wininet {
void SetAutodialOfflineForTesting(bool offline) { offlineForTesting = offline; }
}  // namespace wininet

BOOL InternetAutodial(DWORD /*dwFlags*/, HANDLE /*hwndParent*/) {
    if (offlineForTesting) return Fail(ERROR_INTERNET_DISCONNECTED, FALSE);
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return Fail(ERROR_INTERNET_DISCONNECTED, FALSE);
    bool up = false;
    for (ifaddrs* i = list; i != nullptr && !up; i = i->ifa_next) {
        up = (i->ifa_flags & IFF_UP) != 0;
    }
    freeifaddrs(list);
    return up ? TRUE : Fail(ERROR_INTERNET_DISCONNECTED, FALSE);
}

HINTERNET InternetOpenA(LPCSTR /*lpszAgent*/, DWORD /*dwAccessType*/, LPCSTR /*lpszProxy*/,
                        LPCSTR /*lpszProxyBypass*/, DWORD /*dwFlags*/) {
    auto root = std::make_shared<Root>();
    {
        std::lock_guard lock(tableMutex);
        root->timeouts = defaultTimeouts;
    }
    return Register(std::move(root), 0);
}

BOOL InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer,
                        DWORD dwBufferLength) {
    if (lpBuffer == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (dwOption != INTERNET_OPTION_CONNECT_TIMEOUT && dwOption != INTERNET_OPTION_SEND_TIMEOUT &&
        dwOption != INTERNET_OPTION_RECEIVE_TIMEOUT &&
        dwOption != INTERNET_OPTION_DATA_SEND_TIMEOUT &&
        dwOption != INTERNET_OPTION_DATA_RECEIVE_TIMEOUT) {
        return Fail(ERROR_INTERNET_INVALID_OPTION, FALSE);
    }
    if (dwBufferLength != sizeof(DWORD)) return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH, FALSE);
    DWORD ms = *static_cast<const DWORD*>(lpBuffer);
    if (ms == 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    int value = static_cast<int>(std::min(ms, kMaxTimeoutMs));

    Timeouts* target = nullptr;
    std::shared_ptr<Object> object;
    if (hInternet == nullptr) {
        target = &defaultTimeouts;  // the process-wide defaults for new root handles
    } else {
        object = Lookup(hInternet);
        if (!object) return Fail(ERROR_INVALID_HANDLE, FALSE);
        if (object->kind != Kind::Root && object->kind != Kind::Connection) {
            return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE, FALSE);
        }
        target = &object->timeouts;
    }
    std::lock_guard lock(tableMutex);
    switch (dwOption) {
        case INTERNET_OPTION_CONNECT_TIMEOUT:
            target->connectMs = value;
            break;
        case INTERNET_OPTION_SEND_TIMEOUT:
        case INTERNET_OPTION_DATA_SEND_TIMEOUT:
            target->sendMs = value;
            break;
        default:
            target->receiveMs = value;
            break;
    }
    return TRUE;
}

BOOL InternetCloseHandle(HINTERNET hInternet) {
    if (hInternet == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
    auto tree = DetachTree(IdOf(hInternet));
    if (tree.empty()) return Fail(ERROR_INVALID_HANDLE, FALSE);
    // Children first, so that a transfer ends before its connection says goodbye.
    bool ok = true;
    DWORD error = 0;
    for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
        bool closed = (*it)->OnClose();
        if (it + 1 == tree.rend() && !closed) {
            ok = false;
            error = GetLastError();
        }
    }
    return ok ? TRUE : Fail(error, FALSE);
}
