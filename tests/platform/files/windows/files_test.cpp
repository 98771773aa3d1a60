// The files layer on the system itself (run under Wine): UTF-8 names through the wide
// functions, the runtime's error numbers, the presence search, binary files and started
// programs.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "platform/kernel/windows/utf16.h"
#include "support/windows_folder.h"

namespace {

using testsupport::WindowsFolder;

// "text" in double quotes (appended: GCC 12 warns wrongly on a literal + string at -O3).
std::string Quoted(const std::string& text) {
    return std::string(1, '"').append(text).append(1, '"');
}

int ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const VbError& e) {
        return e.Number;
    }
    return 0;
}

TEST(WindowsFiles, AccentedNamesRoundTrip) {
    WindowsFolder folder;
    folder.Write("Ações.txt", "conteúdo");
    EXPECT_EQ(files::Dir(folder.Path("ações.TXT")), "Ações.txt");  // the name as stored
    files::FileCopy(folder.Path("Ações.txt"), folder.Path("Cópia çà.txt"));
    EXPECT_EQ(folder.Read("Cópia çà.txt"), "conteúdo");
    EXPECT_EQ(files::Dir(folder.Path("C*")), "Cópia çà.txt");
    files::Kill(folder.Path("*.txt"));
    EXPECT_EQ(files::Dir(folder.Path("*")), "");
}

TEST(WindowsFiles, MissingSourcesAndFoldersHaveTheRuntimeNumbers) {
    WindowsFolder folder;
    folder.Write("a.txt", "a");
    EXPECT_EQ(ErrorOf([&] { files::FileCopy(folder.Path("none.txt"), folder.Path("b")); }), 53);
    EXPECT_EQ(ErrorOf([&] { files::FileCopy(folder.Path("a.txt"), folder.Path("no\\b")); }), 76);
    EXPECT_EQ(ErrorOf([&] { files::Kill(folder.Path("none*.txt")); }), 53);
    using Mode = files::BinaryFile::Mode;
    EXPECT_EQ(ErrorOf([&] { files::BinaryFile(folder.Path("none.bin"), Mode::Read); }), 53);
    EXPECT_EQ(ErrorOf([&] { files::BinaryFile(folder.Path("no\\x.bin"), Mode::Write); }), 76);
    EXPECT_EQ(ErrorOf([&] { files::BinaryFile(folder.Path(), Mode::Read); }), 75);
}

TEST(WindowsFiles, DirMatchesStarAndQuestionMarkInNameOrder) {
    WindowsFolder folder;
    for (const char* name : {"b22.txt", "a1.txt", "README"}) folder.Write(name, "x");
    std::filesystem::create_directory(folder.Host("sub"));
    EXPECT_EQ(files::Dir(folder.Path("*.txt")), "a1.txt");
    EXPECT_EQ(files::Dir(folder.Path("b??.TXT")), "b22.txt");
    EXPECT_EQ(files::Dir(folder.Path("?.txt")), "");
    EXPECT_EQ(files::Dir(folder.Path("readme.*")), "README");
    EXPECT_EQ(files::Dir(folder.Path("s*")), "");
    EXPECT_EQ(files::Dir(folder.Path("s*"), files::vbDirectory), "sub");
}

TEST(WindowsFiles, BinaryFileWritesReadsAndTruncates) {
    WindowsFolder folder;
    const std::string path = folder.Path("dados.bin");
    std::vector<char> bytes(100 * 1024);  // more than the buffer holds
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    {
        files::BinaryFile out(path, files::BinaryFile::Mode::Write);
        out.Write(bytes.data(), 10);
        out.Write(bytes.data() + 10, bytes.size() - 10);
        EXPECT_EQ(out.Length(), static_cast<std::int64_t>(bytes.size()));
        out.Close();
    }
    {
        files::BinaryFile in(path, files::BinaryFile::Mode::Read);
        std::vector<char> back(bytes.size() + 5);
        EXPECT_EQ(in.Read(back.data(), 3), 3u);
        EXPECT_EQ(in.Read(back.data() + 3, back.size() - 3), bytes.size() - 3);
        back.resize(bytes.size());
        EXPECT_EQ(back, bytes);
    }
    files::BinaryFile cut(path, files::BinaryFile::Mode::Write);  // opening does not cut
    EXPECT_EQ(cut.Length(), static_cast<std::int64_t>(bytes.size()));
    cut.Write("abc", 3);
    cut.TruncateHere();
    cut.Close();
    EXPECT_EQ(folder.Read("dados.bin"), "abc");
}

TEST(WindowsFiles, PathsAreTheSystemsOwn) {
    WindowsFolder folder;
    std::filesystem::current_path(folder.Host(""));
    EXPECT_EQ(files::ToHostPath("rel\\a.txt"), folder.Host("rel\\a.txt"));
    EXPECT_EQ(files::ToHostPath(folder.Path("x")), folder.Host("x"));
    EXPECT_EQ(files::ToWindowsPath(folder.Host("a/b")), folder.Path("a\\b"));
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    EXPECT_TRUE(std::filesystem::is_regular_file(
        files::ToHostPath(files::AppPath() + "\\test_files_windows.exe")));
    EXPECT_TRUE(files::WinePrefix().empty());
    EXPECT_EQ(files::WineLoader(), "");
    EXPECT_EQ(files::PrepareWinePrefix([](const std::string&) { FAIL() << "nothing to tell"; }),
              "");
}

TEST(WindowsFiles, EnvironIsTheProcesssWithFallbacksWhereUnset) {
    WindowsFolder folder;
    EXPECT_EQ(files::Environ("temp"), folder.Path());  // any case, as Windows looks names up
    SetEnvironmentVariableW(L"KV_Variável", kernel::Widen("valor ç").c_str());
    EXPECT_EQ(files::Environ("kv_variável"), "valor ç");
    SetEnvironmentVariableW(L"KV_Variável", nullptr);
    EXPECT_EQ(files::Environ("kv_variável"), "");
    SetEnvironmentVariableW(L"TEMP", nullptr);
    EXPECT_EQ(files::Environ("Temp"),
              std::string("C:\\users\\").append(files::UserName()) + "\\Temp");
    EXPECT_FALSE(files::UserName().empty());
}

TEST(WindowsShell, BatchFileRunsWithItsExitCodeAndOutputInTheLog) {
    WindowsFolder folder;
    folder.Write("passo um.bat",
                 "@echo off\r\n"
                 "echo feito>\"%~1\"\r\n"
                 "echo dito pelo lote\r\n"
                 "exit /b 7\r\n");
    const std::string made = folder.Path("feito.txt");
    const double pid =
        files::Shell(Quoted(folder.Path("passo um.bat")) + " " + Quoted(made), files::vbHide);
    EXPECT_GT(pid, 0);
    EXPECT_EQ(files::WaitForProgram(pid, std::chrono::seconds(60)), 7);
    EXPECT_EQ(files::WaitForProgram(pid, std::chrono::seconds(1)), std::nullopt);  // once
    EXPECT_EQ(folder.Read("feito.txt"), "feito\r\n");
    EXPECT_EQ(files::StartedProgramsLog(), folder.Host("instalador-programas.log"));
    const std::string log = folder.Read("instalador-programas.log");
    EXPECT_NE(log.find("passo um.bat"), std::string::npos) << log;
    EXPECT_NE(log.find("dito pelo lote"), std::string::npos) << log;

    const double cmd = files::Shell("cmd /c exit 3", files::vbMinimizedFocus);
    EXPECT_EQ(files::WaitForProgram(cmd, std::chrono::seconds(60)), 3);
    EXPECT_EQ(ErrorOf([&] { files::Shell(folder.Path("nenhum.exe")); }), 53);
}

// The exact command line and folder handed to CreateProcessW: on Windows, without /s and the
// inner quotes, cmd would cut the path at its first blank. Wine quotes batch files itself, so the
// run below cannot show that; the line can.
TEST(WindowsShell, BatchFileStartsThroughTheSystemsInterpreterInItsOwnFolder) {
    WindowsFolder folder;
    std::filesystem::create_directory(folder.Host("Instalador KELVORAN (1)"));
    folder.Write("Instalador KELVORAN (1)\\mysql.bat", "@echo off\r\ncd>onde.txt\r\n");
    const std::string batch = folder.Path("Instalador KELVORAN (1)\\mysql.bat");
    const files::BatchLaunch launch = files::BatchLaunchFor(batch);

    EXPECT_EQ(files::FoldCase(launch.program),
              files::FoldCase(files::Environ("windir") + "\\system32\\cmd.exe"));
    EXPECT_EQ(launch.commandLine, Quoted(launch.program) + " /d /s /c " + Quoted(Quoted(batch)));
    EXPECT_EQ(launch.workingFolder, folder.Path("Instalador KELVORAN (1)"));

    const double pid = files::StartBatch(batch, files::vbHide);
    EXPECT_EQ(files::WaitForProgram(pid, std::chrono::seconds(60)), 0);
    // cmd writes the folder in the console's code page: only its ASCII end is compared.
    const std::string where = folder.Read("Instalador KELVORAN (1)\\onde.txt");
    EXPECT_TRUE(where.ends_with("\\Instalador KELVORAN (1)\r\n")) << where;
}

// This 64-bit program on a 64-bit system (Wine's 64-bit prefix): 32-bit components belong to
// SysWOW64 and the "(x86)" common files, each kind with its own registrar.
TEST(WindowsFiles, EachProgramKindHasItsOwnSystemFolders) {
    const std::string windows = files::FoldCase(files::Environ("windir"));
    const files::ProgramFolders bits32 = files::FoldersFor(files::ImageBits::Bits32);
    EXPECT_EQ(files::FoldCase(bits32.system), windows + "\\syswow64");
    EXPECT_EQ(files::FoldCase(bits32.registrar), windows + "\\syswow64\\regsvr32.exe");
    EXPECT_EQ(files::FoldCase(bits32.commonFiles), "c:\\program files (x86)\\common files");

    const files::ProgramFolders bits64 = files::FoldersFor(files::ImageBits::Bits64);
    EXPECT_EQ(files::FoldCase(bits64.system), windows + "\\system32");
    EXPECT_EQ(files::FoldCase(bits64.registrar), windows + "\\system32\\regsvr32.exe");
    EXPECT_EQ(files::FoldCase(bits64.commonFiles), "c:\\program files\\common files");
}

// The type library inside a library's resources, as a file of its own: the plain form of a
// .tlb, which is no program image.
std::string TypeLibraryOf(const std::string& library) {
    HMODULE module = LoadLibraryExW(kernel::Widen(library).c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) return "";
    std::string bytes;
    if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), L"TYPELIB")) {
        const auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
        if (data != nullptr) bytes.assign(data, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return bytes;
}

// A type library that is no program image is registered in this process, as regsvr32 cannot
// load it. Wine's stdole2.tlb carries one; registered from a copy, then again where it lives.
TEST(WindowsFiles, TypeLibrariesAreRegisteredInProcess) {
    WindowsFolder folder;
    const std::string system = files::Environ("windir") + "\\system32\\stdole2.tlb";
    const std::string plain = TypeLibraryOf(system);
    ASSERT_EQ(plain.substr(0, 4), "MSFT");
    folder.Write("stdole2.tlb", plain);
    EXPECT_EQ(files::ProgramImageBits(folder.Path("stdole2.tlb")), std::nullopt);
    EXPECT_EQ(files::RegisterTypeLibrary(folder.Path("stdole2.tlb")), 0);
    EXPECT_EQ(files::RegisterTypeLibrary(system), 0);

    folder.Write("falsa.tlb", "não é uma biblioteca de tipos");
    const auto refused = files::RegisterTypeLibrary(folder.Path("falsa.tlb"));
    ASSERT_TRUE(refused.has_value());
    EXPECT_LT(*refused, 0);  // a failing HRESULT
}

}  // namespace
