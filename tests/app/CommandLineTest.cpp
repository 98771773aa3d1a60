#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using app::ParseCommandLine;
using app::RunMode;

RunMode ModeOf(std::vector<std::string> arguments) { return ParseCommandLine(arguments).mode; }

TEST(CommandLine, NoArgumentsOpensTheWindow) { EXPECT_EQ(ModeOf({}), RunMode::Interactive); }

TEST(CommandLine, FlagsIgnoreCaseAndTakeSlashOrDash) {
    for (const char* flag : {"/passive", "/PASSIVE", "-passive", "-Passive"}) {
        EXPECT_EQ(ModeOf({flag}), RunMode::Passive) << flag;
    }
    for (const char* flag : {"/quiet", "/Quiet", "-QUIET", "-quiet"}) {
        EXPECT_EQ(ModeOf({flag}), RunMode::Quiet) << flag;
    }
    EXPECT_EQ(ModeOf({"/?"}), RunMode::Help);
    EXPECT_EQ(ModeOf({"-?"}), RunMode::Help);
}

TEST(CommandLine, AnythingElseIsInvalidAndNamed) {
    for (const char* argument :
         {"/passivex", "passive", "--quiet", "/", "-", "", "/q", "quiet", "/?x", "\\quiet"}) {
        const auto line = ParseCommandLine({argument});
        EXPECT_EQ(line.mode, RunMode::Invalid) << argument;
        EXPECT_EQ(line.offending, argument);
    }
}

TEST(CommandLine, TwoFlagsAreInvalid) {
    const auto line = ParseCommandLine({"/quiet", "/passive"});
    EXPECT_EQ(line.mode, RunMode::Invalid);
    EXPECT_EQ(line.offending, "/passive");
    EXPECT_EQ(ModeOf({"/quiet", "/quiet"}), RunMode::Invalid);
}

TEST(CommandLine, LogTakesTheNextArgumentBeforeOrAfterTheFlag) {
    auto line = ParseCommandLine({"/quiet", "/log", "C:\\logs\\run.log"});
    EXPECT_EQ(line.mode, RunMode::Quiet);
    EXPECT_EQ(line.logFile, "C:\\logs\\run.log");
    line = ParseCommandLine({"-LOG", "/passive", "/passive"});
    EXPECT_EQ(line.mode, RunMode::Passive);
    EXPECT_EQ(line.logFile, "/passive");
    line = ParseCommandLine({"/log", "instalação.log"});
    EXPECT_EQ(line.mode, RunMode::Interactive);
    EXPECT_EQ(line.logFile, "instalação.log");
}

TEST(CommandLine, LogWithoutAFileOrTwiceIsInvalid) {
    EXPECT_EQ(ModeOf({"/quiet", "/log"}), RunMode::Invalid);
    EXPECT_EQ(ModeOf({"/log", ""}), RunMode::Invalid);
    const auto line = ParseCommandLine({"/log", "a.log", "/log", "b.log"});
    EXPECT_EQ(line.mode, RunMode::Invalid);
    EXPECT_EQ(line.offending, "/log");
}

TEST(CommandLine, UsageNamesEveryFlag) {
    const std::string usage = app::Usage();
    for (const char* part :
         {"/passive", "/quiet", "/?", "/log <arquivo>", "%TEMP%\\instalador.log"}) {
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    }
}

}  // namespace
