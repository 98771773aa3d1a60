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

TEST(CommandLine, UsageNamesEveryFlag) {
    const std::string usage = app::Usage();
    for (const char* part : {"/passive", "/quiet", "/?"}) {
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    }
}

}  // namespace
