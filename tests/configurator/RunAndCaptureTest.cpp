#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "configurator/RunAndCapture.h"

namespace tolvan::test {
namespace {

// Output longer than one read chunk comes back whole, standard error included.
TEST(RunAndCaptureTest, CapturesEverythingTheCommandWrites) {
    std::vector<QString> messages;
    const auto record = [&messages](const QString& text) { messages.push_back(text); };
    const std::string output = RunAndCapture("sh -c \"seq 1 400; echo fault >&2\"", record);
    std::string expected;
    for (int i = 1; i <= 400; ++i) {
        expected += std::to_string(i) + "\n";
    }
    expected += "fault\n";
    EXPECT_GT(output.size(), 256u);
    EXPECT_EQ(output, expected);
    EXPECT_TRUE(messages.empty());
}

// A failing command is no failure to run it: its output is returned and nothing is shown.
TEST(RunAndCaptureTest, FailingCommandIsQuiet) {
    std::vector<QString> messages;
    const std::string output =
        RunAndCapture("sh -c \"echo not running; exit 5\"",
                      [&messages](const QString& t) { messages.push_back(t); });
    EXPECT_EQ(output, "not running\n");
    EXPECT_TRUE(messages.empty());
}

// A program that cannot be started is reported with the error number and gives no output.
TEST(RunAndCaptureTest, MissingProgramIsReported) {
    std::vector<QString> messages;
    const std::string output =
        RunAndCapture("/nonexistent/tolvan-ctl start TolvanServer",
                      [&messages](const QString& t) { messages.push_back(t); });
    EXPECT_TRUE(output.empty());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("CreateProcess failed. Error: 2"));
}

// Arguments split at blanks; quotes keep blanks inside one argument; no shell meaning.
TEST(RunAndCaptureTest, SplitCommandLine) {
    EXPECT_EQ(SplitCommandLine("  systemctl   stop TolvanServer "),
              (std::vector<std::string>{"systemctl", "stop", "TolvanServer"}));
    EXPECT_EQ(SplitCommandLine("\"/opt/my ctl\" a\"b c\" $HOME;x \"\""),
              (std::vector<std::string>{"/opt/my ctl", "ab c", "$HOME;x", ""}));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
}

}  // namespace
}  // namespace tolvan::test
