#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "support/bytes.h"
#include "support/error_number.h"
#include "support/prefix.h"

namespace fs = std::filesystem;
using files::BinaryFile;
using testsupport::Bytes;
using testsupport::TempPrefix;

namespace {

int OpenError(const std::string& path, BinaryFile::Mode mode) {
    return testsupport::ErrorNumber([&] { BinaryFile file(path, mode); });
}

}  // namespace

TEST(BinaryFile, OpenErrorsNameTheMissingPart) {
    TempPrefix prefix;
    fs::create_directories(prefix.DriveC() / "Install" / "folder");
    EXPECT_EQ(OpenError("C:\\Install\\absent.zip", BinaryFile::Mode::Read), 53);
    EXPECT_EQ(OpenError("C:\\NoFolder\\x.zip", BinaryFile::Mode::Read), 76);
    EXPECT_EQ(OpenError("C:\\NoFolder\\x.zip", BinaryFile::Mode::Write), 76);
    EXPECT_EQ(OpenError("C:\\Install\\folder", BinaryFile::Mode::Write), 75);
    EXPECT_EQ(OpenError("C:\\Install\\folder", BinaryFile::Mode::Read), 75);
}

// Chunks of 255 bytes, as a transfer writes them, straddle the buffer's boundaries; a large
// write in the middle goes around the buffer. The file must hold the bytes in order.
TEST(BinaryFile, SmallAndLargeWritesLandInOrder) {
    TempPrefix prefix;
    const std::string data = Bytes(300 * 1024 + 17, 1);
    {
        BinaryFile file("C:\\out.bin", BinaryFile::Mode::Write);
        std::size_t at = 0;
        for (int i = 0; i < 400; ++i, at += 255) file.Write(data.data() + at, 255);
        file.Write(data.data() + at, 150000);
        at += 150000;
        EXPECT_EQ(file.Length(), static_cast<std::int64_t>(at));  // counts the pending bytes
        file.Write(data.data() + at, data.size() - at);
        file.Close();
    }
    EXPECT_EQ(TempPrefix::ReadFile(prefix.DriveC() / "out.bin"), data);
}

TEST(BinaryFile, ReadsBackInSmallAndLargePieces) {
    TempPrefix prefix;
    const std::string data = Bytes(200 * 1024 + 3, 2);
    TempPrefix::WriteFile(prefix.DriveC() / "in.bin", data);
    BinaryFile file("C:\\IN.BIN", BinaryFile::Mode::Read);
    EXPECT_EQ(file.Length(), static_cast<std::int64_t>(data.size()));
    std::string got;
    std::vector<char> piece(100 * 1024);
    std::size_t n = file.Read(piece.data(), 255);
    got.append(piece.data(), n);
    n = file.Read(piece.data(), piece.size());  // partly from the buffer, partly beyond it
    got.append(piece.data(), n);
    while ((n = file.Read(piece.data(), 1000)) > 0) got.append(piece.data(), n);
    EXPECT_EQ(got, data);
    EXPECT_EQ(file.Read(piece.data(), 10), 0u);
}

// Write mode does not cut the file at open; TruncateHere cuts it where writing stopped.
TEST(BinaryFile, WriteKeepsOldBytesUntilTruncated) {
    TempPrefix prefix;
    TempPrefix::WriteFile(prefix.DriveC() / "f.bin", "0123456789");
    {
        BinaryFile file("C:\\f.bin", BinaryFile::Mode::Write);
        file.Write("abc", 3);
        EXPECT_EQ(file.Length(), 10);
        file.Close();
    }
    EXPECT_EQ(TempPrefix::ReadFile(prefix.DriveC() / "f.bin"), "abc3456789");
    {
        BinaryFile file("C:\\f.bin", BinaryFile::Mode::Write);
        file.Write("XY", 2);
        file.TruncateHere();
        EXPECT_EQ(file.Length(), 2);
    }  // the destructor flushes and closes
    EXPECT_EQ(TempPrefix::ReadFile(prefix.DriveC() / "f.bin"), "XY");
}

TEST(BinaryFile, DeviceIsRefusedAtOpen) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    TempPrefix prefix;
    fs::create_directories(prefix.DriveC() / "dev");
    fs::create_symlink("/dev/full", prefix.DriveC() / "dev" / "full");
    EXPECT_EQ(OpenError("C:\\dev\\full", BinaryFile::Mode::Write), 75);
}

TEST(BinaryFile, WrongDirectionIsAnError) {
    TempPrefix prefix;
    TempPrefix::WriteFile(prefix.DriveC() / "f.bin", "data");
    BinaryFile reader("C:\\f.bin", BinaryFile::Mode::Read);
    EXPECT_THROW(reader.Write("x", 1), VbError);
    BinaryFile writer("C:\\g.bin", BinaryFile::Mode::Write);
    char c;
    EXPECT_THROW(writer.Read(&c, 1), VbError);
}

// The optional header's magic tells the kinds apart; anything that is not a whole PE header
// (data files, a stub whose pointer runs off the file) is no image.
TEST(ProgramImageBits, ReadsTheKindFromThePeHeader) {
    TempPrefix prefix;
    const auto image = [&](std::uint32_t peAt, std::uint16_t magic) {
        std::string bytes(512, '\0');
        bytes[0] = 'M';
        bytes[1] = 'Z';
        for (int i = 0; i < 4; ++i) bytes[0x3c + i] = static_cast<char>(peAt >> (8 * i));
        if (std::size_t{peAt} + 26 <= bytes.size()) {
            bytes.replace(peAt, 4, std::string("PE\0\0", 4));
            bytes[peAt + 24] = static_cast<char>(magic & 0xff);
            bytes[peAt + 25] = static_cast<char>(magic >> 8);
        }
        TempPrefix::WriteFile(prefix.DriveC() / "f.dll", bytes);
        return files::ProgramImageBits("C:\\f.dll");
    };
    EXPECT_EQ(image(0x80, 0x20b), files::ImageBits::Bits64);
    EXPECT_EQ(image(0x80, 0x10b), files::ImageBits::Bits32);
    EXPECT_EQ(image(0xfffffff0u, 0x20b), std::nullopt);
    TempPrefix::WriteFile(prefix.DriveC() / "f.dll", "MSFT type library");
    EXPECT_EQ(files::ProgramImageBits("C:\\f.dll"), std::nullopt);
    EXPECT_EQ(files::ProgramImageBits("C:\\ausente.dll"), std::nullopt);
}
