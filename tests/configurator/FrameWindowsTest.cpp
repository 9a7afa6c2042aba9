#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QWidget>

#include "configurator/AboutWindow.h"
#include "configurator/Icons.h"
#include "configurator/TrayIcon.h"

namespace tolvan {
namespace {

QString LabelText(QWidget& window, const char* name) {
    auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
    EXPECT_NE(label, nullptr) << name;
    return label ? label->text() : QString();
}

// Loading shows the configurator's version, asks the server for its own once, and waits.
TEST(AboutWindow, LoadShowsOwnVersionAndAsksForTheServers) {
    int requests = 0;
    QPointer<AboutWindow> about = new AboutWindow([&requests] { ++requests; });
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(LabelText(*about, "lblConfigVersion"),
              QStringLiteral("Tolvan Server Config Version 1.0.7"));
    EXPECT_EQ(LabelText(*about, "lblServerVersion"),
              QStringLiteral("Tolvan Server Version... Obtaining Version"));
    EXPECT_EQ(LabelText(*about, "lblReleaseDate"), QString());
    auto* close = about->findChild<QPushButton*>(QStringLiteral("cmdOK"));
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), QStringLiteral("&Close"));
    EXPECT_FALSE(about->findChild<QLabel*>(QStringLiteral("imgBox"))->pixmap().isNull());
    delete about.data();
}

TEST(AboutWindow, VersionReportFillsServerLabelsAndToleratesMissingFields) {
    AboutWindow about({});
    about.ShowVersionReport({"1.0.7", "Release Date Mar 18, 2005"});
    EXPECT_EQ(LabelText(about, "lblServerVersion"), QStringLiteral("Tolvan Server Version 1.0.7"));
    EXPECT_EQ(LabelText(about, "lblReleaseDate"), QStringLiteral("Release Date Mar 18, 2005"));

    about.ShowVersionReport({"2.1.0"});
    EXPECT_EQ(LabelText(about, "lblServerVersion"), QStringLiteral("Tolvan Server Version 2.1.0"));
    EXPECT_EQ(LabelText(about, "lblReleaseDate"), QString());

    about.ShowVersionReport({});
    EXPECT_EQ(LabelText(about, "lblServerVersion"), QStringLiteral("Tolvan Server Version "));
}

// Every icon is drawn for the tray's own sizes, and at those sizes every state looks clearly
// different from every other.
TEST(Icons, DrawnForTraySizesAndTellableApart) {
    const QStringList names{QStringLiteral("ICONX"), QStringLiteral("ICONIDLE"),
                            QStringLiteral("ICON1"), QStringLiteral("ICON7"),
                            QStringLiteral("ICONPLUS")};
    for (const int size : {16, 22}) {
        QList<QImage> images;
        for (const QString& name : names) {
            const QIcon icon = TolvanIcon(name);
            EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
            images << icon.pixmap(size).toImage().convertToFormat(QImage::Format_RGB32);
        }
        for (qsizetype i = 0; i < images.size(); ++i) {
            for (qsizetype j = i + 1; j < images.size(); ++j) {
                int differing = 0;
                for (int y = 0; y < size; ++y) {
                    for (int x = 0; x < size; ++x) {
                        differing += images[i].pixel(x, y) != images[j].pixel(x, y) ? 1 : 0;
                    }
                }
                EXPECT_GT(differing, size * size / 8)
                    << names[i].toStdString() << " vs " << names[j].toStdString() << " at " << size;
            }
        }
    }
}

TEST(TrayIcon, MenuHasOpenAsBoldDefaultThenAboutAndExit) {
    TrayIcon tray;
    QMenu& menu = tray.Menu();
    EXPECT_EQ(menu.objectName(), QStringLiteral("mnuTrayMenu"));
    const QList<QAction*> actions = menu.actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("&Open"));
    EXPECT_EQ(actions[1]->text(), QStringLiteral("&About"));
    EXPECT_EQ(actions[2]->text(), QStringLiteral("&Exit"));
    EXPECT_EQ(menu.defaultAction(), actions[0]);
    EXPECT_TRUE(actions[0]->font().bold());
    EXPECT_FALSE(actions[1]->font().bold());
    EXPECT_EQ(tray.SystemTrayIcon().toolTip(), QStringLiteral("Tolvan Server"));
    EXPECT_EQ(tray.SystemTrayIcon().contextMenu(), &menu);
}

// Menu items and a double click only emit signals; a single click does nothing.
TEST(TrayIcon, ActionsAndDoubleClickEmitTheirSignals) {
    TrayIcon tray;
    QSignalSpy open(&tray, &TrayIcon::openRequested);
    QSignalSpy about(&tray, &TrayIcon::aboutRequested);
    QSignalSpy exit(&tray, &TrayIcon::exitRequested);
    const QList<QAction*> actions = tray.Menu().actions();

    actions[0]->trigger();
    Q_EMIT tray.SystemTrayIcon().activated(QSystemTrayIcon::DoubleClick);
    Q_EMIT tray.SystemTrayIcon().activated(QSystemTrayIcon::Trigger);
    actions[1]->trigger();
    actions[2]->trigger();
    EXPECT_EQ(open.count(), 2);
    EXPECT_EQ(about.count(), 1);
    EXPECT_EQ(exit.count(), 1);
}

// Without a notification area the window is minimised and stays reachable; with one, the icon
// takes the window's place until Open.
TEST(TrayIcon, SendToTrayHidesOnlyWhereATrayExists) {
    TrayIcon tray;
    QWidget window;
    window.setWindowIcon(TolvanIcon(QStringLiteral("ICON3")));
    window.show();

    tray.SendToTray(window, false);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
    EXPECT_FALSE(tray.IsVisible());

    window.showNormal();
    tray.SendToTray(window, true);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(tray.IsVisible());
    EXPECT_FALSE(tray.SystemTrayIcon().icon().isNull());

    tray.Open(window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
    EXPECT_FALSE(tray.IsVisible());
}

}  // namespace
}  // namespace tolvan
