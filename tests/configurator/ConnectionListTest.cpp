#include <gtest/gtest.h>

#include <QFontInfo>
#include <QListWidget>
#include <QTest>

#include "configurator/ConnectionList.h"
#include "tests/configurator/ConfiguratorFixture.h"

namespace tolvan::test {
namespace {

QStringList Lines(const QListWidget* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i) {
        lines << list->item(i)->text();
    }
    return lines;
}

// Column layout: number to 6, time to 23, state, a blank, the address.
TEST(ConnectionListLine, ColumnsAndOverlongValues) {
    EXPECT_EQ(ConnectionList::HeaderLine(),
              QStringLiteral("Index Connection Time        C IP Address"));
    EXPECT_EQ(ConnectionList::ConnectionLine(QStringLiteral("3"),
                                             QStringLiteral("12/01/2005 10:15:00 AM"),
                                             QStringLiteral("7"), QStringLiteral("10.0.0.5")),
              QStringLiteral("3     12/01/2005 10:15:00 AM 7 10.0.0.5"));
    // Too long for their columns: shown whole, never cut.
    EXPECT_EQ(ConnectionList::ConnectionLine(QStringLiteral("1234567"),
                                             QStringLiteral("Wednesday 12/01/2005 10:15"),
                                             QStringLiteral("7"), QStringLiteral("::1")),
              QStringLiteral("1234567Wednesday 12/01/2005 10:157 ::1"));
}

class ConnectionListTest : public ConfiguratorFixture {
protected:
    void SetUp() override {
        ConfiguratorFixture::SetUp();
        list_ = Find<QListWidget>("lstConnectionInfo");
        frame_ = Find<ConnectionList>("frameConnections");
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        SelectFirstPort();
    }

    void ShowReport(const std::string& payload) {
        peer_.Send("D5", payload);
        SentSoFar();
    }

    void DoubleClickRow(int row) {
        const QRect rect = list_->visualItemRect(list_->item(row));
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list_->viewport(), Qt::LeftButton, {}, rect.center());
    }

    QListWidget* list_ = nullptr;
    ConnectionList* frame_ = nullptr;
};

// Loaded with a 44-dash separator; every report refills with 46 and one line per connection,
// carrying the connection number as item data.
TEST_F(ConnectionListTest, FillsFromReports) {
    EXPECT_EQ(list_->count(), 2);
    EXPECT_EQ(list_->item(1)->text(), QString(44, u'-'));
    EXPECT_TRUE(QFontInfo(list_->font()).fixedPitch());

    ShowReport("0|0");
    EXPECT_EQ(Lines(list_), (QStringList{ConnectionList::HeaderLine(), QString(46, u'-')}));
    EXPECT_FALSE(frame_->isHidden());

    ShowReport("0|2|3|1|12/01/2005 10:15:00 AM|10.0.0.5|7|12|0|12/01/2005|192.168.1.20|6");
    ASSERT_EQ(list_->count(), 4);
    EXPECT_EQ(list_->item(2)->text(), QStringLiteral("3     12/01/2005 10:15:00 AM 7 10.0.0.5"));
    EXPECT_EQ(list_->item(3)->text(),
              QStringLiteral("12    12/01/2005             6 192.168.1.20"));
    EXPECT_EQ(list_->item(3)->data(Qt::UserRole).toInt(), 12);

    // A count beyond the fields carried adds only what is there; another port is ignored.
    ShowReport("0|50|4|1|t|1.2.3.4");
    EXPECT_EQ(list_->count(), 3);
    EXPECT_EQ(list_->item(2)->text(), QStringLiteral("4     t                       1.2.3.4"));
    ShowReport("1|0");
    EXPECT_EQ(list_->count(), 3);
}

// The header and separator can never stay selected.
TEST_F(ConnectionListTest, HeaderLinesAreNotSelectable) {
    ShowReport("0|1|3|1|12/01/2005 10:15:00 AM|10.0.0.5|7");
    list_->setCurrentRow(2);
    ASSERT_EQ(list_->selectedItems().size(), 1);
    const QRect header = list_->visualItemRect(list_->item(0));
    QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, header.center());
    EXPECT_TRUE(list_->selectedItems().isEmpty());
    list_->setCurrentRow(1);
    EXPECT_TRUE(list_->selectedItems().isEmpty());
}

// A double click asks first; No sends nothing, Yes the disconnect request, and a double
// click on the header asks nothing.
TEST_F(ConnectionListTest, DoubleClickAsksBeforeDisconnecting) {
    ShowReport("0|1|2|1|12/01/2005 10:15:00 AM|10.0.0.5|7");
    int asked = 0;
    bool answer = false;
    frame_->SetQuestion([&](QWidget*) {
        ++asked;
        return answer;
    });

    DoubleClickRow(0);
    EXPECT_EQ(asked, 0);

    DoubleClickRow(2);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(SentSoFar().empty());

    answer = true;
    DoubleClickRow(2);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(SentSoFar(), (std::vector<std::string>{"D6|3|0|2"}));
    EXPECT_EQ(list_->count(), 3);  // changes only with the next report
}

}  // namespace
}  // namespace tolvan::test
