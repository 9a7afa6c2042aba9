#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

namespace {

// The built manual is a real PDF of several pages, beside the configurator.
TEST(UsersManual, PdfExistsAndHasSeveralPages) {
    QFile file(QStringLiteral(TOLVAN_MANUAL_PDF));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << TOLVAN_MANUAL_PDF;
    const QByteArray pdf = file.readAll();
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    // Page objects, not the page tree ("/Type /Pages").
    const QString text = QString::fromLatin1(pdf);
    const qsizetype pages =
        text.count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])")));
    EXPECT_GE(pages, 5);
    EXPECT_TRUE(pdf.contains("DejaVu")) << "no font embedded";
}

}  // namespace
