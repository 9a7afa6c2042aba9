#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QSet>

namespace {

QString Decoded(const QString& hex) {
    QString text;
    for (qsizetype i = 4; i + 4 <= hex.size(); i += 4) {  // after the byte order mark FEFF
        text += QChar(static_cast<char16_t>(hex.mid(i, 4).toUShort(nullptr, 16)));
    }
    return text;
}

// The built manual: several pages with the screenshots, and bookmarks, opened with the
// document, for every chapter and section, each leading to one of its pages.
TEST(UsersManual, PdfHasPicturesAndBookmarks) {
    QFile file(QStringLiteral(TOLVAN_MANUAL_PDF));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << TOLVAN_MANUAL_PDF;
    const QString pdf = QString::fromLatin1(file.readAll());
    EXPECT_TRUE(pdf.startsWith(QStringLiteral("%PDF-")));
    EXPECT_TRUE(pdf.contains(QStringLiteral("DejaVu"))) << "no font embedded";
    EXPECT_GE(pdf.count(QStringLiteral("/Subtype /Image")), 7);

    QSet<QString> pages;
    QRegularExpressionMatchIterator page =
        QRegularExpression(QStringLiteral("\\n(\\d+) 0 obj\\n<<\\n/Type /Page\\n"))
            .globalMatch(pdf);
    while (page.hasNext()) {
        pages.insert(page.next().captured(1));
    }
    EXPECT_GE(pages.size(), 8);

    EXPECT_TRUE(pdf.contains(QStringLiteral("/PageMode /UseOutlines")));
    QStringList titles;
    QRegularExpressionMatchIterator mark =
        QRegularExpression(QStringLiteral("/Title <(FEFF[0-9A-F]*)>.*?/Dest \\[(\\d+) 0 R"))
            .globalMatch(pdf);
    while (mark.hasNext()) {
        const QRegularExpressionMatch match = mark.next();
        titles << Decoded(match.captured(1));
        EXPECT_TRUE(pages.contains(match.captured(2))) << titles.back().toStdString();
    }
    EXPECT_GE(titles.size(), 20);
    for (const char* title : {"6.2 The main window", "8. The trace window", "9. Troubleshooting"}) {
        EXPECT_TRUE(titles.contains(QString::fromLatin1(title))) << title;
    }
}

}  // namespace
