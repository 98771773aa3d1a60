#include "platform/wininet/server_name.h"

#include <algorithm>

namespace wininet {

bool SplitServerName(std::string_view text, ServerName& out) {
    std::string_view portText;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        out.host = std::string(text.substr(1, close - 1));
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':' || rest.size() == 1) return false;
            portText = rest.substr(1);
        }
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        const std::size_t colon = text.find(':');
        out.host = std::string(text.substr(0, colon));
        portText = text.substr(colon + 1);
        if (portText.empty()) return false;
    } else {
        out.host = std::string(text);  // a name, or an IPv6 address without brackets
    }
    if (out.host.empty()) return false;
    if (portText.empty()) return true;
    if (portText.size() > 5) return false;
    int port = 0;
    for (const char ch : portText) {
        if (ch < '0' || ch > '9') return false;
        port = port * 10 + (ch - '0');
    }
    if (port > 65535) return false;
    out.port = port;
    return true;
}

}  // namespace wininet
