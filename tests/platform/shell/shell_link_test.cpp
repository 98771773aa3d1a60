// The bytes of a Shell Link file as the shortcut builds them: nothing of the platform takes part.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/files/vb_error.h"
#include "platform/shell/product_shortcut.h"

using shelltest::ProductShortcut;
using shelltest::U32At;

TEST(BuildShellLink, HeaderCarriesFlagsShowCommandAndHotKey) {
    auto link = ProductShortcut("x.lnk");
    auto bytes = shell::BuildShellLink(link);
    ASSERT_GE(bytes.size(), 0x4Cu + 4);
    EXPECT_EQ(U32At(bytes, 0), 0x4Cu);
    const std::vector<std::uint8_t> clsid{0x01, 0x14, 0x02, 0, 0, 0, 0, 0,
                                          0xC0, 0,    0,    0, 0, 0, 0, 0x46};
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 4, bytes.begin() + 20), clsid);
    // LinkInfo, Name, WorkingDir, Unicode; no arguments, no icon, no ID list.
    EXPECT_EQ(U32At(bytes, 0x14), 0x02u | 0x04u | 0x10u | 0x80u);
    EXPECT_EQ(U32At(bytes, 0x3C), 1u);  // SW_SHOWNORMAL
    EXPECT_EQ(bytes[0x40] | bytes[0x41] << 8, 0);
    EXPECT_EQ(U32At(bytes, bytes.size() - 4), 0u);  // terminal block

    link.HotKey = "CTRL+SHIFT+F";
    bytes = shell::BuildShellLink(link);
    EXPECT_EQ(bytes[0x40], 'F');
    EXPECT_EQ(bytes[0x41], 0x03);  // HOTKEYF_CONTROL | HOTKEYF_SHIFT
    link.HotKey = "alt+ctrl+f12";
    bytes = shell::BuildShellLink(link);
    EXPECT_EQ(bytes[0x40], 0x7B);
    EXPECT_EQ(bytes[0x41], 0x06);
    link.HotKey = "CTRL+";
    EXPECT_THROW(shell::BuildShellLink(link), VbError);
    link.HotKey = "HYPER+K";
    EXPECT_THROW(shell::BuildShellLink(link), VbError);
}
