#include "ui/qt/Pictures.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include "ui/ChipPicture.h"

QPixmap DrawChipPicture() {
    QPixmap pixmap(kChipWidth, kChipHeight);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const auto colour = [](std::int32_t rgb) { return QColor(QRgb(static_cast<std::uint32_t>(rgb))); };
    for (const TChipShape& shape : ChipShapes()) {
        painter.setPen(shape.Edge >= 0 ? QPen(colour(shape.Edge), shape.EdgeWidth) : QPen(Qt::NoPen));
        painter.setBrush(shape.Fill >= 0 ? QBrush(colour(shape.Fill)) : QBrush(Qt::NoBrush));
        const QRectF box(shape.X, shape.Y, shape.W, shape.H);
        switch (shape.Kind) {
            case TChipShape::TKind::Rect:
                painter.drawRect(box);
                break;
            case TChipShape::TKind::RoundRect:
                painter.drawRoundedRect(box, shape.Radius, shape.Radius);
                break;
            case TChipShape::TKind::RightHalfEllipse:
                painter.drawPie(box, -90 * 16, 180 * 16);
                break;
            case TChipShape::TKind::Ellipse:
                painter.drawEllipse(box);
                break;
            case TChipShape::TKind::Line:
                painter.drawLine(QPointF(shape.X, shape.Y), QPointF(shape.X + shape.W, shape.Y + shape.H));
                break;
        }
    }
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
