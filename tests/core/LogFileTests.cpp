#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "server/core/ForeignText.h"
#include "server/core/LogFile.h"
#include "tests/support/TempFolder.h"

namespace tolvan {
namespace {

namespace fs = std::filesystem;

struct PlaceCase {
    std::string logFile;
    std::string beneath;  // empty: refused
};

// Names below the folder are taken in either form; anything that names a place outside it, or
// climbs with "..", is refused with a reason.
TEST(LogFileRule, OnlyPathsInsideTheLogFolder) {
    const std::string folder = "/var/log/tolvan";
    const PlaceCase cases[] = {
        {"com1.log", "com1.log"},
        {"  site/com1.log ", "site/com1.log"},
        {"/var/log/tolvan/com1.log", "com1.log"},
        {"/var/log/tolvan/./a//b.log", "a/b.log"},
        {"..hidden.log", "..hidden.log"},
        {"/var/log/tolvanx/com1.log", ""},
        {"/etc/cron.d/evil", ""},
        {"../cron.d/evil", ""},
        {"a/../../evil", ""},
        {"a/..", ""},
        {"/var/log/tolvan/../../../etc/passwd", ""},
        {"/var/log/tolvan", ""},
        {"/var/log/tolvan/", ""},
        {".", ""},
        {std::string("com1.log\0/../../x", 17), ""},
    };
    for (const PlaceCase& c : cases) {
        const LogFilePlace place = PlaceLogFile(folder, c.logFile);
        EXPECT_EQ(place.beneath.value_or(""), c.beneath) << c.logFile;
        EXPECT_EQ(place.why.empty(), place.beneath.has_value()) << c.logFile;
    }
    // No log wanted is no refusal.
    EXPECT_FALSE(PlaceLogFile(folder, "  ").beneath);
    EXPECT_EQ(PlaceLogFile(folder, "  ").why, "");

    EXPECT_EQ(NormalLogDirectory(" /srv//logs/ "), "/srv/logs");
    EXPECT_FALSE(NormalLogDirectory("var/log/tolvan"));
    EXPECT_FALSE(NormalLogDirectory("/var/log/../../etc"));
    EXPECT_FALSE(NormalLogDirectory(""));
}

// A log folder with traps laid by someone who may write in it: links out of it (to a file, to a
// folder, dangling), a hard link to a file elsewhere, a FIFO. None is written through, nothing
// appears outside, and a plain file in an existing subfolder takes the bytes unchanged.
TEST(LogFileRule, OpeningNeverLeavesTheFolder) {
    TempFolder root;
    const fs::path logs = root.File("logs");
    const fs::path outside = root.File("outside");
    fs::create_directories(logs / "sub");
    fs::create_directories(outside);
    TempFolder::Write((outside / "secret").string(), "secret");
    fs::create_symlink("../outside/secret", logs / "file-link.log");
    fs::create_symlink("../outside/created.log", logs / "dangling.log");
    fs::create_symlink("../outside", logs / "folder-link");
    fs::create_hard_link(outside / "secret", logs / "hard.log");
    ASSERT_EQ(::mkfifo((logs / "fifo.log").c_str(), 0600), 0);

    for (const char* trap : {"file-link.log", "dangling.log", "folder-link/created.log", "hard.log",
                             "fifo.log", "missing/com1.log"}) {
        TrafficLogFile file;
        EXPECT_NE(file.Open(logs.string(), trap), "") << trap;
        EXPECT_FALSE(file.IsOpen()) << trap;
        file.Append("planted");
    }
    EXPECT_EQ(TempFolder::Read((outside / "secret").string()), "secret");
    EXPECT_FALSE(fs::exists(outside / "created.log"));
    EXPECT_FALSE(fs::exists(logs / "missing"));
    TrafficLogFile file;
    EXPECT_NE(file.Open(root.File("no-such-folder"), "com1.log"), "");

    ASSERT_EQ(file.Open(logs.string(), "sub/com1.log"), "");
    file.Append("A");
    file.Append(std::string("\xff\0B", 3));
    const fs::path written = logs / "sub" / "com1.log";
    EXPECT_EQ(TempFolder::Read(written.string()), std::string("A\xff\0B", 4));
    struct stat info {};
    ASSERT_EQ(::stat(written.c_str(), &info), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0640u & ~mask);
}

// Foreign bytes reach an event printable and bounded.
TEST(ForeignText, EscapesAndCuts) {
    EXPECT_EQ(EscapeForeignText("plain ~text~"), "plain ~text~");
    EXPECT_EQ(EscapeForeignText(std::string("\x1b[2J\0\r\n\x7f\xff", 9)),
              "<1B>[2J<00><0D><0A><7F><FF>");
    EXPECT_EQ(EscapeForeignText(std::string(200, 'x')), std::string(200, 'x'));
    EXPECT_EQ(EscapeForeignText(std::string(201, 'x')), std::string(200, 'x') + "...");
    // A "<HH>" is never split: 198 plain characters leave no room for one.
    EXPECT_EQ(EscapeForeignText(std::string(198, 'x') + "\x01"), std::string(198, 'x') + "...");
    EXPECT_EQ(EscapeForeignText(std::string(1000, '\0')).size(), 203u);
}

}  // namespace
}  // namespace tolvan
