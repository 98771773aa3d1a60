// The server text of InternetConnectA, which may carry a port: "host", "host:port", "[v6]",
// "[v6]:port" or a bare IPv6 address.
#pragma once

#include <string>
#include <string_view>

namespace wininet {

struct ServerName {
    std::string host;
    int port = -1;  // -1: none given
};

// False when the text is malformed (empty host, unclosed bracket, port not 0 to 65535).
bool SplitServerName(std::string_view text, ServerName& out);

}  // namespace wininet
