#include <gtest/gtest.h>

#include "server/service/CommandLine.h"

namespace tolvan {
namespace {

// The argument text is the arguments joined by single blanks, the program name left out.
TEST(CommandLine, JoinsArgumentsWithSingleBlanks) {
    const char* none[] = {"TolvanServer"};
    EXPECT_EQ(JoinArguments(1, none), "");
    const char* two[] = {"TolvanServer", "-debug", "x"};
    EXPECT_EQ(JoinArguments(3, two), "-debug x");
    const char* blank[] = {"TolvanServer", "", "-install"};
    EXPECT_EQ(JoinArguments(3, blank), " -install");
}

// Install and uninstall accept any letter case; debug only in lower case.
TEST(CommandLine, ComparesTheWholeText) {
    EXPECT_EQ(ParseCommandLine("-install"), CommandAction::Install);
    EXPECT_EQ(ParseCommandLine("-INSTALL"), CommandAction::Install);
    EXPECT_EQ(ParseCommandLine("-Uninstall"), CommandAction::Uninstall);
    EXPECT_EQ(ParseCommandLine("-uNiNsTaLl"), CommandAction::Uninstall);
    EXPECT_EQ(ParseCommandLine("-debug"), CommandAction::Debug);
    EXPECT_EQ(ParseCommandLine(""), CommandAction::Normal);

    EXPECT_EQ(ParseCommandLine("-DEBUG"), CommandAction::Usage);
    EXPECT_EQ(ParseCommandLine("-Debug"), CommandAction::Usage);
    EXPECT_EQ(ParseCommandLine("-debug x"), CommandAction::Usage);
    EXPECT_EQ(ParseCommandLine(" -install"), CommandAction::Usage);
    EXPECT_EQ(ParseCommandLine("install"), CommandAction::Usage);
    EXPECT_EQ(ParseCommandLine("-x"), CommandAction::Usage);
    EXPECT_EQ(ParseCommandLine(" "), CommandAction::Usage);
}

// The usage text lists install and uninstall only, with CR LF between the lines.
TEST(CommandLine, UsageText) {
    EXPECT_EQ(UsageText(),
              "Invalid command option...\r\nValid Options are:\r\nTolvanServer -install\r\n"
              "TolvanServer -uninstall");
}

}  // namespace
}  // namespace tolvan
