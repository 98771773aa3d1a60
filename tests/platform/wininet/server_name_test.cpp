#include "platform/wininet/server_name.h"

#include <gtest/gtest.h>

namespace {

TEST(ServerName, SplitsThePortOffNamesAndBracketedAddresses) {
    struct Case {
        const char* text;
        const char* host;
        int port;
    };
    for (const Case& c : {Case{"ftp.quorimetra.com.br", "ftp.quorimetra.com.br", -1},
                          Case{"127.0.0.1:2121", "127.0.0.1", 2121}, Case{"[::1]:21", "::1", 21},
                          Case{"[::1]", "::1", -1}, Case{"fe80::1", "fe80::1", -1}}) {
        wininet::ServerName name;
        ASSERT_TRUE(wininet::SplitServerName(c.text, name)) << c.text;
        EXPECT_EQ(name.host, c.host);
        EXPECT_EQ(name.port, c.port);
    }
    for (const char* bad :
         {"", ":21", "host:", "host:65536", "host:2x", "[::1", "[::1]x", "[::1]:"}) {
        wininet::ServerName name;
        EXPECT_FALSE(wininet::SplitServerName(bad, name)) << bad;
    }
}

}  // namespace
