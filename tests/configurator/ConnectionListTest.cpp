#include <gtest/gtest.h>

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "configurator/ConnectionList.h"
#include "configurator/ReportText.h"
#include "tests/configurator/ConfiguratorFixture.h"

namespace tolvan::test {
namespace {

// Report dates in the server's locale forms become ISO dates; what is no date stays as sent.
TEST(ReportTextTest, DatesShowAsIso) {
    EXPECT_EQ(IsoDateTime("12/01/2005 10:15:00 AM"), QStringLiteral("2005-12-01 10:15:00"));
    EXPECT_EQ(IsoDateTime("12/01/2005 12:05:09 AM"), QStringLiteral("2005-12-01 00:05:09"));
    EXPECT_EQ(IsoDateTime("12/01/05 22:15:00"), QStringLiteral("2005-12-01 22:15:00"));
    EXPECT_EQ(IsoDateTime("12/01/2005"), QStringLiteral("2005-12-01"));
    EXPECT_EQ(IsoDateTime("01.12.2005 10:15:00"), QStringLiteral("2005-12-01 10:15:00"));
    EXPECT_EQ(IsoDateTime("2025-01-02 10:00:00"), QStringLiteral("2025-01-02 10:00:00"));
    EXPECT_EQ(IsoDateTime("13/45/2005"), QStringLiteral("13/45/2005"));
    EXPECT_EQ(IsoDateTime("soon"), QStringLiteral("soon"));
}

class ConnectionListTest : public ConfiguratorFixture {
protected:
    void SetUp() override {
        ConfiguratorFixture::SetUp();
        table_ = Find<QTableWidget>("lstConnectionInfo");
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        SelectFirstPort();
    }

    void ShowReport(const std::string& payload) {
        peer_.Send("D5", payload);
        SentSoFar();
    }

    QStringList Row(int row) const {
        QStringList cells;
        for (int column = 0; column < table_->columnCount(); ++column) {
            cells << table_->item(row, column)->text();
        }
        return cells;
    }

    QTableWidget* table_ = nullptr;
};

// One row per connection under named columns; the remote port a newer server appends is
// shown, and its absence (older servers) is no harm; a count beyond the fields adds nothing.
TEST_F(ConnectionListTest, TableShowsEachConnection) {
    QStringList headers;
    for (int column = 0; column < table_->columnCount(); ++column) {
        headers << table_->horizontalHeaderItem(column)->text();
    }
    EXPECT_EQ(headers, (QStringList{QStringLiteral("No."), QStringLiteral("Address"),
                                    QStringLiteral("Remote port"), QStringLiteral("State"),
                                    QStringLiteral("Connected since")}));

    ShowReport("0|2|3|1|12/01/2005 10:15:00 AM|10.0.0.5|7|12|0|12/01/2005|192.168.1.20|7");
    ASSERT_EQ(table_->rowCount(), 2);
    EXPECT_EQ(Row(0),
              (QStringList{QStringLiteral("3"), QStringLiteral("10.0.0.5"), QString(),
                           QStringLiteral("connected"), QStringLiteral("2005-12-01 10:15:00")}));
    EXPECT_EQ(Row(1)[3], QStringLiteral("password"));
    EXPECT_TRUE(table_->item(0, 0)->textAlignment() & Qt::AlignRight);

    ShowReport("0|2|3|1|12/01/2005 10:15:00 AM|10.0.0.5|7|51234|4|1|12/01/2005|::1|7|40001");
    ASSERT_EQ(table_->rowCount(), 2);
    EXPECT_EQ(Row(0)[2], QStringLiteral("51234"));
    EXPECT_EQ(Row(1),
              (QStringList{QStringLiteral("4"), QStringLiteral("::1"), QStringLiteral("40001"),
                           QStringLiteral("connected"), QStringLiteral("2005-12-01")}));

    ShowReport("0|50|4|1|t|1.2.3.4");
    EXPECT_EQ(table_->rowCount(), 1);
    ShowReport("1|0");  // another port
    EXPECT_EQ(table_->rowCount(), 1);
}

// Disconnect, the Delete key and a double click ask first, naming the connection; only Yes
// sends the request, and the row stays until the server's next report.
TEST_F(ConnectionListTest, DisconnectAsksNamingTheConnection) {
    ShowReport("0|2|2|1|12/01/2005 10:15:00 AM|10.0.0.5|7|51234|3|0|12/01/2005|10.0.0.6|7|40001");
    auto* disconnect = Find<QPushButton>("cmdDisconnect");
    EXPECT_FALSE(disconnect->isEnabled());
    table_->selectRow(1);
    table_->setFocus();

    answer_ = QMessageBox::No;
    QTest::keyClick(table_, Qt::Key_Delete);
    ASSERT_EQ(asked_.size(), 1);
    EXPECT_EQ(asked_[0], QStringLiteral("Disconnect connection 3 of COM1 (10.0.0.6, remote port "
                                        "40001, password since 2005-12-01)?"));
    EXPECT_TRUE(SentSoFar().empty());

    answer_ = QMessageBox::Yes;
    disconnect->click();
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{"D6|3|0|3"}));
    const QRect first = table_->visualItemRect(table_->item(0, 1));
    QTest::mouseClick(table_->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseDClick(table_->viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{"D6|3|0|2"}));
    EXPECT_EQ(table_->rowCount(), 2);
    EXPECT_EQ(asked_.size(), 3);
}

}  // namespace
}  // namespace tolvan::test
