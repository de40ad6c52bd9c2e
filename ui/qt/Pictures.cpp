#include "ui/qt/Pictures.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

QPixmap DrawChipPicture() {
    QPixmap pixmap(66, 52);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    // Eight pins on the top and bottom edges, silver with a darker edge.
    const QColor pin(0xC8, 0xC8, 0xC8);
    const QColor pinEdge(0x70, 0x70, 0x70);
    for (int i = 0; i < 8; ++i) {
        const qreal x = 9.5 + i * 6.5;
        painter.setPen(pinEdge);
        painter.setBrush(pin);
        painter.drawRect(QRectF(x, 1.5, 3, 9));
        painter.drawRect(QRectF(x, 41.5, 3, 9));
    }

    // The package body with a lighter rim, the orientation notch and the pin-one dot.
    const QRectF body(5.5, 9.5, 55, 33);
    painter.setPen(QPen(QColor(0x55, 0x55, 0x5A), 1));
    painter.setBrush(QColor(0x24, 0x24, 0x28));
    painter.drawRoundedRect(body, 2, 2);
    painter.setBrush(QColor(0x10, 0x10, 0x12));
    painter.setPen(Qt::NoPen);
    painter.drawPie(QRectF(1.5, 21, 8, 10), -90 * 16, 180 * 16);
    painter.setBrush(QColor(0x60, 0x60, 0x66));
    painter.drawEllipse(QPointF(12, 35.5), 2, 2);

    // Faint marking lines, as a part number would be printed.
    painter.setPen(QPen(QColor(0x9A, 0x9A, 0xA0), 1.5));
    painter.drawLine(QPointF(20, 21.5), QPointF(50, 21.5));
    painter.drawLine(QPointF(20, 27.5), QPointF(42, 27.5));
    return pixmap;
}

namespace {

// Cuts a stencil bridge: a transparent strip through the letters, in letter coordinates.
void CutBridge(QPainter& painter, const QRectF& strip) {
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.fillRect(strip, Qt::transparent);
    painter.restore();
}

}  // namespace

QPixmap DrawBetaStamp() {
    QPixmap pixmap(130, 66);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const QColor ink(0x9A, 0x3B, 0x1F);
    painter.translate(65, 33);
    painter.rotate(-12);

    // The stamp frame.
    painter.setPen(QPen(ink, 2.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(-54, -20, 108, 40), 5, 5);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(30);
    font.setWeight(QFont::Black);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const QString word = QStringLiteral("BETA");
    const qreal top = -metrics.capHeight() / 2;
    const qreal height = metrics.capHeight();
    qreal x = -metrics.horizontalAdvance(word) / 2 + 1.5;

    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    for (const QChar letter : word) {
        QPainterPath path;
        path.addText(QPointF(x, top + height), font, QString(letter));
        painter.drawPath(path);
        const QRectF box = path.boundingRect();
        // The bridges that hold a stencil's inner parts: between the stem and the bowls of
        // B, between the stem and the arms of E, under the bar of T, through the apex of A.
        switch (letter.unicode()) {
            case 'B':
            case 'E':
                CutBridge(painter,
                          QRectF(box.left() + box.width() * 0.36, box.top() - 1, 2.2, box.height() + 2));
                break;
            case 'T':
                CutBridge(painter,
                          QRectF(box.left() - 1, box.top() + box.height() * 0.27, box.width() + 2, 2.2));
                break;
            case 'A':
                CutBridge(painter, QRectF(box.center().x() - 1.1, box.top() - 1, 2.2, box.height() * 0.45));
                break;
            default:
                break;
        }
        x += metrics.horizontalAdvance(letter) + 3;
    }
    return pixmap;
}
