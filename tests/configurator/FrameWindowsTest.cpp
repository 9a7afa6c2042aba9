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

}  // namespace
}  // namespace tolvan
