// The words for a failure the FTP client recorded: what failed (refused, no such host, login
// refused, no such file ...), then the record itself with the service's number or the server's
// reply.
#pragma once

#include <string>

namespace ftptool {

// "connection refused (InternetConnect error code: 12029 Message: ...)"; `fallback` when
// nothing was recorded.
std::string DescribeFailure(const std::string& recorded, const std::string& fallback);

}  // namespace ftptool
