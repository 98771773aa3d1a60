// The zip reader against archives that libzip writes (Linux only: the Windows build has no
// libzip).
#include <gtest/gtest.h>

#include <string>

#include "platform/shell/zip_reader.h"
#include "support/prefix.h"
#include "support/zip_builder.h"

namespace {

using shell::zip::ZipError;

TEST(ZipReader, ReadsWhatLibzipWrites) {
    testsupport::TempPrefix prefix;
    const auto path = prefix.DriveC() / "payload.zip";
    const std::string big(300000, 'q');
    testzip::Write(path, {{"Dlls/", "", true},
                          {"Dlls/kelvoran.ocx", big},
                          {"Dlls/leia.txt", "texto", false, false, true},
                          {"Dlls/atalho", "kelvoran.ocx", false, true}});
    ZipError error = ZipError::None;
    auto reader = shell::zip::ZipReader::OpenFile(path, error);
    ASSERT_NE(reader, nullptr) << shell::zip::Describe(error);
    ASSERT_EQ(reader->Entries().size(), 4u);
    const auto& entries = reader->Entries();
    EXPECT_TRUE(entries[0].IsFolder());
    EXPECT_TRUE(entries[3].IsLink());
    EXPECT_FALSE(entries[1].IsLink());
    std::string data;
    EXPECT_EQ(reader->Read(entries[1], [&](const char* p, std::size_t n) { data.append(p, n); }),
              ZipError::None);
    EXPECT_EQ(data, big);
}

}  // namespace
