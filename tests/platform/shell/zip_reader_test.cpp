// The zip reader over zlib; builds and runs on Linux and, under Wine, for Windows.
#include "platform/shell/zip_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/zip_bytes.h"

namespace {

using shell::zip::ZipEntry;
using shell::zip::ZipError;
using shell::zip::ZipReader;
using testzip::Bytes;

std::vector<testzip::RawEntry> Sample() {
    std::string program;
    for (int i = 0; i < 20000; ++i) program += "kelvoran " + std::to_string(i % 97) + "\n";
    return {
        {"Kelvoran/", "", false, 0, 0x10, 0x0800},
        {"Kelvoran/kelvoran.exe", program},
        {"Kelvoran/leia-me.txt", "Instalação concluída.\r\n", false},
        {"Kelvoran/atalho", "kelvoran.exe", false, 3, 0120777u << 16},
    };
}

// The entry's data as the reader hands it out, with the result.
std::pair<ZipError, std::string> ReadAll(ZipReader& reader, const ZipEntry& entry) {
    std::string data;
    const ZipError e = reader.Read(entry, [&](const char* p, std::size_t n) { data.append(p, n); });
    return {e, data};
}

ZipError OpenError(const Bytes& bytes) {
    ZipError error = ZipError::None;
    EXPECT_EQ(ZipReader::OpenMemory(bytes, error), nullptr);
    return error;
}

class ZipReaderForms : public ::testing::TestWithParam<bool> {};

TEST_P(ZipReaderForms, ListsAndReadsEntriesWithNamesSizesAndAttributes) {
    const auto sample = Sample();
    const Bytes bytes = testzip::Build(sample, GetParam()).bytes;
    ZipError error = ZipError::Open;
    auto reader = ZipReader::OpenMemory(bytes, error);
    ASSERT_NE(reader, nullptr) << shell::zip::Describe(error);
    EXPECT_EQ(error, ZipError::None);
    ASSERT_EQ(reader->Entries().size(), sample.size());
    for (std::size_t i = 0; i < sample.size(); ++i) {
        const ZipEntry& entry = reader->Entries()[i];
        EXPECT_EQ(entry.name, sample[i].name);
        EXPECT_EQ(entry.size, sample[i].content.size());
        EXPECT_EQ(entry.IsFolder(), i == 0) << entry.name;
        EXPECT_EQ(entry.IsLink(), i == 3) << entry.name;
        const auto [e, data] = ReadAll(*reader, entry);
        EXPECT_EQ(e, ZipError::None) << entry.name;
        EXPECT_EQ(data, sample[i].content) << entry.name;
    }
}

INSTANTIATE_TEST_SUITE_P(PlainAndZip64, ZipReaderForms, ::testing::Bool());

TEST(ZipReader, DamagedDataIsACrcError) {
    auto built = testzip::Build({{"a.txt", "conteúdo do arquivo", false}});
    built.bytes[30 + 5 + 3] ^= 0x20;  // inside the stored data
    ZipError error = ZipError::None;
    auto reader = ZipReader::OpenMemory(built.bytes, error);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(ReadAll(*reader, reader->Entries()[0]).first, ZipError::Crc);
}

TEST(ZipReader, NamesWithoutTheUtf8FlagAreCp437UnlessTheyReadAsUtf8) {
    const Bytes bytes = testzip::Build({{"Instala\x87\xa0o.txt", "x", false, 0, 0, 0},
                                        {"Configuração.ini", "y", false, 0, 0, 0}})
                            .bytes;
    ZipError error = ZipError::None;
    auto reader = ZipReader::OpenMemory(bytes, error);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->Entries()[0].name, "Instalaçáo.txt");
    EXPECT_EQ(reader->Entries()[1].name, "Configuração.ini");
}

// Shapes no archiver writes, each refused before any data is read.
TEST(ZipReader, HostileDirectoriesAreRefusedWhenOpened) {
    const auto sample = Sample();
    const testzip::Built base = testzip::Build(sample);
    const std::size_t end = base.bytes.size() - 22;
    const std::size_t program = base.central[1];
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        ZipError expected;
    };
    const std::vector<Case> cases = {
        {"more entries than the directory holds",
         [&](Bytes& b) {
             testzip::Patch(b, end + 8, 60000, 2);
             testzip::Patch(b, end + 10, 60000, 2);
         },
         ZipError::Damaged},
        {"directory beyond the end record",
         [&](Bytes& b) { testzip::Patch(b, end + 12, 0x7FFFFFFF, 4); }, ZipError::Damaged},
        {"data running into the next entry",
         [&](Bytes& b) { testzip::Patch(b, program + 20, 1u << 20, 4); }, ZipError::Damaged},
        {"two entries sharing one local header",
         [&](Bytes& b) { testzip::Patch(b, base.central[2] + 42, 0, 4); }, ZipError::Damaged},
        {"deflated size beyond what deflate can make",
         [&](Bytes& b) { testzip::Patch(b, program + 24, 0xFFFFFFF0, 4); }, ZipError::Damaged},
        {"stored size unlike its compressed size",
         [&](Bytes& b) { testzip::Patch(b, base.central[2] + 24, 9, 4); }, ZipError::Damaged},
        {"a second disk", [&](Bytes& b) { testzip::Patch(b, end + 4, 1, 2); },
         ZipError::Unsupported},
        {"no end record", [&](Bytes& b) { b.resize(end); }, ZipError::NotZip},
    };
    for (const auto& c : cases) {
        Bytes bytes = base.bytes;
        c.damage(bytes);
        EXPECT_EQ(OpenError(bytes), c.expected) << c.what;
    }
    const std::string longName(shell::zip::kMaxNameLength + 1, 'n');
    EXPECT_EQ(OpenError(testzip::Build({{longName, "x"}}).bytes), ZipError::Limits);
}

TEST(ZipReader, StreamsThatDisagreeWithTheirSizeAreDamagedAndNeverRunOver) {
    const std::string content(5000, 'k');
    for (const std::uint64_t declared : {content.size() - 1, content.size() + 1}) {
        auto built = testzip::Build({{"k.bin", content}});
        testzip::Patch(built.bytes, built.central[0] + 24, declared, 4);
        ZipError error = ZipError::None;
        auto reader = ZipReader::OpenMemory(built.bytes, error);
        ASSERT_NE(reader, nullptr);
        const auto [e, data] = ReadAll(*reader, reader->Entries()[0]);
        EXPECT_EQ(e, ZipError::Damaged) << declared;
        EXPECT_LE(data.size(), declared);
    }
}

TEST(ZipReader, OtherMethodsAndEncryptionAreListedButNotRead) {
    auto built = testzip::Build({{"b.bz2", "x", false}, {"c.txt", "y", false}});
    testzip::Patch(built.bytes, built.central[0] + 10, 12, 2);  // bzip2
    testzip::Patch(built.bytes, built.central[1] + 8, 0x0801, 2);
    ZipError error = ZipError::None;
    auto reader = ZipReader::OpenMemory(built.bytes, error);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(ReadAll(*reader, reader->Entries()[0]).first, ZipError::Unsupported);
    EXPECT_EQ(ReadAll(*reader, reader->Entries()[1]).first, ZipError::Unsupported);
}

TEST(ZipReader, OpensFilesByTheirUtf8Names) {
    const auto path = std::filesystem::temp_directory_path() / u8"instalação-zip-reader.zip";
    const Bytes bytes = testzip::Build(Sample()).bytes;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ZipError error = ZipError::None;
    auto reader = ZipReader::OpenFile(path, error);
    ASSERT_NE(reader, nullptr) << shell::zip::Describe(error);
    EXPECT_EQ(ReadAll(*reader, reader->Entries()[1]).second, Sample()[1].content);
    reader.reset();
    std::filesystem::remove(path);
    EXPECT_EQ(ZipReader::OpenFile(path, error), nullptr);
    EXPECT_EQ(error, ZipError::Open);
}

}  // namespace
