#include "configurator/Icons.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tolvan {
namespace {

constexpr int kSize = 32;
const QColor kBlue(0, 0, 160);
const QColor kRed(230, 0, 0);
const QColor kGreen(0, 200, 0);

QPixmap BlueSquare() {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(kBlue);
    return pixmap;
}

void DrawX(QPainter& painter) {
    painter.setPen(QPen(kRed, 5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(6, 6, kSize - 7, kSize - 7);
    painter.drawLine(kSize - 7, 6, 6, kSize - 7);
}

void DrawCentredText(QPainter& painter, const QString& text, const QColor& colour, int pixelSize) {
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(pixelSize);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QRect(0, 0, kSize, kSize), Qt::AlignCenter, text);
}

void DrawProductName(QPainter& painter) {
    painter.fillRect(2, 6, kSize - 4, kSize - 12, Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(9);
    // Both words stay inside the white band whatever font the desktop offers.
    const int room = kSize - 6;
    while (font.pixelSize() > 6 &&
           QFontMetrics(font).horizontalAdvance(QStringLiteral("Server")) > room) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, 7, kSize, 10), Qt::AlignCenter, QStringLiteral("Tolvan"));
    painter.drawText(QRect(0, 16, kSize, 10), Qt::AlignCenter, QStringLiteral("Server"));
}

void DrawPlus(QPainter& painter) {
    painter.setPen(QPen(kGreen, 6, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(kSize / 2, 5, kSize / 2, kSize - 5);
    painter.drawLine(5, kSize / 2, kSize - 5, kSize / 2);
}

}  // namespace

QIcon TolvanIcon(const QString& name) {
    QPixmap pixmap = BlueSquare();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    if (name == QStringLiteral("ICONIDLE")) {
        DrawProductName(painter);
    } else if (name == QStringLiteral("ICONPLUS")) {
        DrawPlus(painter);
    } else if (name.size() == 5 && name.startsWith(QStringLiteral("ICON")) && name[4] >= u'1' &&
               name[4] <= u'9') {
        DrawCentredText(painter, name.right(1), kGreen, 28);
    } else {
        DrawX(painter);
    }
    painter.end();
    return QIcon(pixmap);
}

QString ConnectionCountIconName(long long total) {
    if (total == 0) {
        return QStringLiteral("ICONIDLE");
    }
    if (total >= 1 && total <= 9) {
        return QStringLiteral("ICON") + QString::number(total);
    }
    return QStringLiteral("ICONPLUS");
}

}  // namespace tolvan
