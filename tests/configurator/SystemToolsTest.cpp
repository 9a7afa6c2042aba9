#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <vector>

#include "configurator/ManualLauncher.h"
#include "configurator/SystemTools.h"

namespace tolvan {
namespace {

// The status command names the configured systemctl, quoted for the shell, and waits for Enter
// so the terminal does not vanish at once.
TEST(SystemTools, ServicesShowsStatusThroughTheConfiguredSystemctl) {
    const SystemCommand command =
        SystemToolCommand(SystemTool::Services, QStringLiteral("x-terminal-emulator"),
                          QStringLiteral("/opt/it's/systemctl"));
    EXPECT_EQ(command.program, QStringLiteral("x-terminal-emulator"));
    ASSERT_EQ(command.arguments.size(), 4);
    EXPECT_EQ(command.arguments[0], QStringLiteral("-e"));
    EXPECT_EQ(command.arguments[1], QStringLiteral("sh"));
    EXPECT_EQ(command.arguments[2], QStringLiteral("-c"));
    EXPECT_TRUE(command.arguments[3].startsWith(
        QStringLiteral("'/opt/it'\\''s/systemctl' status TolvanServer;")))
        << command.arguments[3].toStdString();
    EXPECT_TRUE(command.arguments[3].contains(QStringLiteral("read")));
}

struct LauncherProbe {
    std::vector<QUrl> opened;
    std::vector<std::pair<QString, QString>> errors;
    bool openResult = true;

    ManualLauncher Make(const QString& folder) {
        return ManualLauncher(
            folder,
            [this](const QUrl& url) {
                opened.push_back(url);
                return openResult;
            },
            [this](const QString& title, const QString& text) {
                errors.emplace_back(title, text);
            });
    }
};

// A missing manual is reported with its full path and never handed to the desktop.
TEST(ManualLauncher, MissingManualGivesTheThreeLineErrorWithFullPath) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    LauncherProbe probe;
    EXPECT_FALSE(probe.Make(dir.path()).OpenManual());
    EXPECT_TRUE(probe.opened.empty());
    ASSERT_EQ(probe.errors.size(), 1u);
    EXPECT_EQ(probe.errors[0].first, QStringLiteral("Error"));
    EXPECT_EQ(probe.errors[0].second, QStringLiteral("Help file could not be opened.\n"
                                                     "Make sure a PDF viewer is installed and\n"
                                                     "the file ") +
                                          dir.path() +
                                          QStringLiteral("/TolvanUsersManual.pdf exists."));
}

TEST(ManualLauncher, OpensAnExistingManualAndReportsAFailingHandler) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.path() + QStringLiteral("/TolvanUsersManual.pdf");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("%PDF-1.4\n");
    file.close();

    LauncherProbe probe;
    EXPECT_TRUE(probe.Make(dir.path() + QStringLiteral("/")).OpenManual());
    ASSERT_EQ(probe.opened.size(), 1u);
    EXPECT_EQ(probe.opened[0], QUrl::fromLocalFile(path));
    EXPECT_TRUE(probe.errors.empty());

    probe.openResult = false;
    EXPECT_FALSE(probe.Make(dir.path()).OpenManual());
    ASSERT_EQ(probe.errors.size(), 1u);
    EXPECT_TRUE(probe.errors[0].second.contains(path));
}

// A package may keep the manual with its documents; that copy serves when none is beside the
// program.
TEST(ManualLauncher, FallsBackToThePackagedDocumentsCopy) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("bin")));
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("share/doc/tolvan-server-config")));
    const QString packaged =
        root.path() + QStringLiteral("/share/doc/tolvan-server-config/TolvanUsersManual.pdf");
    QFile file(packaged);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    LauncherProbe probe;
    EXPECT_TRUE(probe.Make(root.path() + QStringLiteral("/bin")).OpenManual());
    ASSERT_EQ(probe.opened.size(), 1u);
    EXPECT_EQ(probe.opened[0], QUrl::fromLocalFile(packaged));
}

}  // namespace
}  // namespace tolvan
