#include "configurator/Icons.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tolvan {
namespace {

const QColor kBlue(0, 0, 160);
const QColor kRed(235, 20, 20);
const QColor kGreen(40, 220, 40);

// Drawn for each size a desktop asks for, so that the tray's 16 and 22 pixels get a picture
// made for them instead of a shrunken one.
constexpr int kSizes[] = {16, 22, 24, 32, 48, 64};
// Below this the product's name cannot be read; a single letter stands for it.
constexpr int kLetteringSize = 32;

void DrawX(QPainter& painter, int size) {
    const qreal inset = size * 0.2;
    painter.setPen(QPen(kRed, std::max(2.0, size / 6.0), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(inset, inset), QPointF(size - inset, size - inset));
    painter.drawLine(QPointF(size - inset, inset), QPointF(inset, size - inset));
}

void DrawCentredText(QPainter& painter, int size, const QString& text, const QColor& colour,
                     qreal share) {
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(std::max(6, static_cast<int>(size * share)));
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, text);
}

void DrawProductName(QPainter& painter, int size) {
    if (size < kLetteringSize) {
        DrawCentredText(painter, size, QStringLiteral("T"), Qt::white, 0.95);
        return;
    }
    const qreal unit = size / 32.0;
    painter.fillRect(QRectF(2 * unit, 6 * unit, size - 4 * unit, size - 12 * unit), Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(static_cast<int>(9 * unit));
    // Both words stay inside the white band whatever font the desktop offers.
    const int room = static_cast<int>(size - 6 * unit);
    while (font.pixelSize() > 6 &&
           QFontMetrics(font).horizontalAdvance(QStringLiteral("Server")) > room) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    painter.setFont(font);
    painter.setPen(Qt::black);
    const int line = static_cast<int>(10 * unit);
    painter.drawText(QRect(0, static_cast<int>(7 * unit), size, line), Qt::AlignCenter,
                     QStringLiteral("Tolvan"));
    painter.drawText(QRect(0, static_cast<int>(16 * unit), size, line), Qt::AlignCenter,
                     QStringLiteral("Server"));
}

void DrawPlus(QPainter& painter, int size) {
    const qreal inset = size * 0.15;
    painter.setPen(QPen(kGreen, std::max(3.0, size / 5.0), Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(size / 2.0, inset), QPointF(size / 2.0, size - inset));
    painter.drawLine(QPointF(inset, size / 2.0), QPointF(size - inset, size / 2.0));
}

QPixmap Draw(const QString& name, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(kBlue);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (name == QStringLiteral("ICONIDLE")) {
        DrawProductName(painter, size);
    } else if (name == QStringLiteral("ICONPLUS")) {
        DrawPlus(painter, size);
    } else if (name.size() == 5 && name.startsWith(QStringLiteral("ICON")) && name[4] >= u'1' &&
               name[4] <= u'9') {
        DrawCentredText(painter, size, name.right(1), kGreen, 0.9);
    } else {
        DrawX(painter, size);
    }
    painter.end();
    return pixmap;
}

}  // namespace

QIcon TolvanIcon(const QString& name) {
    QIcon icon;
    for (const int size : kSizes) {
        icon.addPixmap(Draw(name, size));
    }
    return icon;
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
