#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "platform/shell/shell.h"
#include "support/bytes.h"
#include "support/prefix.h"
#include "support/zip_builder.h"

namespace fs = std::filesystem;
using testsupport::TempPrefix;

namespace {

std::vector<std::string> Names(const shell::FolderItems& items) {
    std::vector<std::string> names;
    for (const auto& item : items) names.push_back(item.Name + (item.IsFolder ? "/" : ""));
    return names;
}

// Extracts the whole archive at a Windows path into a Windows folder, as the installer does.
void ExtractAll(const std::string& archive, const std::string& target) {
    shell::ShellApplication app;
    auto zip = app.NameSpace(archive);
    ASSERT_NE(zip, nullptr);
    auto folder = app.NameSpace(target);
    ASSERT_NE(folder, nullptr);
    folder->CopyHere(zip->Items());
}

// Files (not folders) under a host folder, as relative paths.
std::vector<std::string> FilesUnder(const fs::path& root) {
    std::vector<std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_directory()) out.push_back(fs::relative(entry.path(), root).string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string RefusalOf(const std::string& archive, const std::string& target) {
    try {
        ExtractAll(archive, target);
    } catch (const VbError& e) {
        EXPECT_EQ(e.Number, 75);
        return e.Description;
    }
    return "";
}

}  // namespace

TEST(ZipFolder, ItemsAreTopLevelEntriesInArchiveOrderWithImpliedFolders) {
    TempPrefix prefix;
    testzip::Write(prefix.DriveC() / "a.zip", {{"zeta.txt", "z"},
                                               {"bin/deep/tool.exe", "t"},
                                               {"Alpha.dll", "a"},
                                               {"docs/", "", true},
                                               {"bin/readme", "r"},
                                               {"docs/guide.txt", "g"}});
    shell::ShellApplication app;
    auto zip = app.NameSpace("C:\\A.ZIP");
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(Names(zip->Items()),
              (std::vector<std::string>{"zeta.txt", "bin/", "Alpha.dll", "docs/"}));
}

TEST(ZipFolder, CopyHereExtractsNestedFoldersAndReplacesExistingFiles) {
    TempPrefix prefix;
    const std::string big = testsupport::Bytes(3 << 20, 7, 16);  // more than one read buffer
    testzip::Write(prefix.DriveC() / "Install" / "kelvoranX.zip",
                   {{"kelvoranX.exe", big}, {"Dados/Modelos/base.mdb", "db"}, {"leia.txt", "new"}});
    // Existing content: a file to replace, and a folder named in another case.
    TempPrefix::WriteFile(prefix.DriveC() / "Quorimetra" / "Kelvoran" / "LEIA.TXT", "old text");
    fs::create_directories(prefix.DriveC() / "Quorimetra" / "Kelvoran" / "dados");

    ExtractAll("C:\\Install\\kelvoranX.zip", "C:\\Quorimetra\\Kelvoran\\");
    const fs::path product = prefix.DriveC() / "Quorimetra" / "Kelvoran";
    EXPECT_EQ(FilesUnder(product),
              (std::vector<std::string>{"LEIA.TXT", "dados/Modelos/base.mdb", "kelvoranX.exe"}));
    EXPECT_EQ(TempPrefix::ReadFile(product / "LEIA.TXT"), "new");
    EXPECT_EQ(TempPrefix::ReadFile(product / "kelvoranX.exe"), big);
}

TEST(ZipFolder, CopyHereOfSomeItemsTakesOnlyThoseWithTheirContents) {
    TempPrefix prefix;
    testzip::Write(prefix.DriveC() / "a.zip",
                   {{"one.txt", "1"}, {"sub/two.txt", "2"}, {"sub/in/three.txt", "3"}});
    fs::create_directories(prefix.DriveC() / "out");
    shell::ShellApplication app;
    auto zip = app.NameSpace("C:\\a.zip");
    ASSERT_NE(zip, nullptr);
    shell::FolderItems some;
    for (const auto& item : zip->Items()) {
        if (item.IsFolder) some.entries.push_back(item);
    }
    app.NameSpace("C:\\out")->CopyHere(some);
    EXPECT_EQ(FilesUnder(prefix.DriveC() / "out"),
              (std::vector<std::string>{"sub/in/three.txt", "sub/two.txt"}));
}

TEST(ZipFolder, DamagedEntryFailsWithCrcErrorAndLeavesNoFileOfIt) {
    TempPrefix prefix;
    const fs::path archive = prefix.DriveC() / "bad.zip";
    const std::string content(4096, 'k');
    testzip::Write(archive, {{"good.txt", "fine"}, {"broken.bin", content, false, false, true}});
    // Damage one byte inside the stored data of the second entry.
    std::string bytes = TempPrefix::ReadFile(archive);
    const auto at = bytes.find(std::string(64, 'k'));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 100] = 'X';
    TempPrefix::WriteFile(archive, bytes);
    fs::create_directories(prefix.DriveC() / "out");

    const std::string refusal = RefusalOf("C:\\bad.zip", "C:\\out");
    EXPECT_NE(refusal.find("CRC"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("broken.bin"), std::string::npos) << refusal;
    // The entry before the damaged one is complete; of the damaged one nothing is left, not
    // even its temporary file.
    EXPECT_EQ(FilesUnder(prefix.DriveC() / "out"), std::vector<std::string>{"good.txt"});
}

TEST(ZipFolder, EntriesThatWouldLandOutsideTheTargetAreRefusedBeforeWriting) {
    TempPrefix prefix;
    fs::create_directories(prefix.DriveC() / "out" / "inner");
    const std::vector<std::string> unsafe = {"../x",  "inner/../../x",  "/abs",    "C:\\x",
                                             "\\abs", "sub\\..\\..\\x", "a/.../b", "d:rel"};
    for (const auto& name : unsafe) {
        SCOPED_TRACE(name);
        testzip::Write(prefix.DriveC() / "evil.zip", {{"first.txt", "written?"}, {name, "evil"}});
        const std::string refusal = RefusalOf("C:\\evil.zip", "C:\\out\\inner");
        EXPECT_NE(refusal.find("unsafe name"), std::string::npos) << refusal;
        // Drive C holds the archive and the prefix's registrar, nothing else.
        EXPECT_EQ(FilesUnder(prefix.DriveC()),
                  (std::vector<std::string>{"evil.zip", "windows/System32/regsvr32.exe"}));
    }
}

TEST(ZipFolder, LinkEntriesAreRefused) {
    TempPrefix prefix;
    fs::create_directories(prefix.DriveC() / "out");
    testzip::Write(prefix.DriveC() / "link.zip",
                   {{"a.txt", "a"}, {"etc", "/etc", false, true}, {"etc/passwd", "x"}});
    const std::string refusal = RefusalOf("C:\\link.zip", "C:\\out");
    EXPECT_NE(refusal.find("link"), std::string::npos) << refusal;
    EXPECT_TRUE(fs::is_empty(prefix.DriveC() / "out"));
}

TEST(ZipFolder, LinksInTheTargetAreReplacedOrRefusedNeverFollowed) {
    TempPrefix prefix;
    const fs::path out = prefix.DriveC() / "out";
    const fs::path outside = prefix.root / "outside";
    fs::create_directories(out);
    fs::create_directories(outside);
    TempPrefix::WriteFile(outside / "victim.txt", "keep");
    fs::create_symlink(outside / "victim.txt", out / "file.txt");
    fs::create_directory_symlink(outside, out / "dir");

    testzip::Write(prefix.DriveC() / "a.zip", {{"file.txt", "new"}});
    ExtractAll("C:\\a.zip", "C:\\out");
    EXPECT_FALSE(fs::is_symlink(out / "file.txt"));
    EXPECT_EQ(TempPrefix::ReadFile(out / "file.txt"), "new");
    EXPECT_EQ(TempPrefix::ReadFile(outside / "victim.txt"), "keep");

    testzip::Write(prefix.DriveC() / "b.zip", {{"dir/victim.txt", "evil"}});
    EXPECT_NE(RefusalOf("C:\\b.zip", "C:\\out"), "");
    EXPECT_EQ(TempPrefix::ReadFile(outside / "victim.txt"), "keep");
    EXPECT_EQ(FilesUnder(outside), std::vector<std::string>{"victim.txt"});
}

TEST(ZipFolder, ProgressEndsWithTheTotalAndFinished) {
    TempPrefix prefix;
    testzip::Write(prefix.DriveC() / "a.zip",
                   {{"a.bin", std::string(3000000, 'a')}, {"b/c.bin", std::string(1000, 'c')}});
    std::vector<std::tuple<std::uint64_t, std::uint64_t, bool, std::string>> calls;
    shell::SetCopyProgressHandler(
        [&](std::uint64_t done, std::uint64_t total, bool finished, const std::string& item) {
            calls.emplace_back(done, total, finished, item);
        });
    ExtractAll("C:\\a.zip", "C:\\");
    shell::SetCopyProgressHandler(nullptr);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(std::get<3>(calls.front()), "a.bin");
    EXPECT_EQ(calls.back(),
              std::make_tuple(std::uint64_t{3001000}, std::uint64_t{3001000}, true, "b/c.bin"));
    for (std::size_t i = 0; i + 1 < calls.size(); ++i) EXPECT_FALSE(std::get<2>(calls[i]));
}

// Shapes that once hung or crashed the extraction (a path as deep as the folder cache or far
// deeper), or would flood the user's status line (a name of 64 KiB) or memory (more entries
// than any product has): each is refused before anything is written, in a short message.
TEST(ZipFolder, HostileShapesAreRefusedBeforeWriting) {
    TempPrefix prefix;
    const fs::path out = prefix.DriveC() / "out";
    TempPrefix::WriteFile(out / "keep.txt", "kept");
    auto deep = [](int levels) {
        std::string name;
        for (int i = 0; i < levels; ++i) name += "d/";
        return name + "f.txt";
    };
    std::vector<testzip::Entry> many;
    for (int i = 0; i <= 100000; ++i) many.push_back({"m/" + std::to_string(i), ""});
    const std::vector<std::pair<std::string, std::vector<testzip::Entry>>> shapes = {
        {"256 deep", {{"keep.txt", "new"}, {deep(256), "x"}}},
        {"10000 deep", {{"keep.txt", "new"}, {deep(10000), "x"}}},
        {"64 KiB name", {{"keep.txt", "new"}, {std::string(65000, 'n'), "x"}}},
        {"100001 entries", std::move(many)},
    };
    for (const auto& [shape, entries] : shapes) {
        SCOPED_TRACE(shape);
        testzip::Write(prefix.DriveC() / "hostile.zip", entries);
        const std::string refusal = RefusalOf("C:\\hostile.zip", "C:\\out");
        EXPECT_NE(refusal, "");
        EXPECT_LT(refusal.size(), 300u) << refusal.substr(0, 300);
        EXPECT_EQ(FilesUnder(out), std::vector<std::string>{"keep.txt"});
        EXPECT_EQ(TempPrefix::ReadFile(out / "keep.txt"), "kept");
    }
}

// A run killed while it writes leaves its temporary file; the next extraction into that folder
// removes it, and leaves alone one of a process that still runs.
TEST(ZipFolder, TemporaryFileOfAKilledRunIsRemovedByTheNext) {
    TempPrefix prefix;
    const fs::path out = prefix.DriveC() / "out";
    fs::create_directories(out / "sub");
    const std::string big = testsupport::Bytes(8 << 20, 3);
    testzip::Write(prefix.DriveC() / "a.zip", {{"sub/big.bin", big}});
    auto temporaries = [&] {
        std::vector<std::string> names;
        for (const auto& name : FilesUnder(out)) {
            if (name.find(".kx-") != std::string::npos) names.push_back(name);
        }
        return names;
    };

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        shell::SetCopyProgressHandler(
            [](std::uint64_t done, std::uint64_t, bool, const std::string&) {
                if (done > 0) ::kill(::getpid(), SIGKILL);
            });
        ExtractAll("C:\\a.zip", "C:\\out");
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(temporaries().size(), 1u);
    const std::string running = ".kx-" + std::to_string(::getpid()) + "-999999.part";
    TempPrefix::WriteFile(out / "sub" / running, "another run's");

    ExtractAll("C:\\a.zip", "C:\\out");

    EXPECT_EQ(temporaries(), std::vector<std::string>{"sub/" + running});
    EXPECT_EQ(TempPrefix::ReadFile(out / "sub" / "big.bin"), big);
}

TEST(ShellApplication, NameSpaceIsNothingForMissingPathsAndOtherFiles) {
    TempPrefix prefix;
    TempPrefix::WriteFile(prefix.DriveC() / "notzip.zip", "this is not an archive");
    shell::ShellApplication app;
    EXPECT_EQ(app.NameSpace("C:\\notzip.zip"), nullptr);
    EXPECT_EQ(app.NameSpace("C:\\missing.zip"), nullptr);
    EXPECT_EQ(app.NameSpace("Q:\\x"), nullptr);
    // Any file that reads as an archive is one, whatever its name.
    testzip::Write(prefix.DriveC() / "package.bin", {{"x.txt", "x"}});
    auto zip = app.NameSpace("C:\\PACKAGE.BIN");
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(Names(zip->Items()), std::vector<std::string>{"x.txt"});
}
