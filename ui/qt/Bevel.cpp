#include "ui/qt/Bevel.h"

#include <QPainter>

TBevel::TBevel(TShape shape, QWidget* parent) : QWidget(parent), shape_(shape) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void TBevel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    const int right = width() - 1;
    const int bottom = height() - 1;
    switch (shape_) {
        case TShape::TopLine:
            painter.setPen(shadow);
            painter.drawLine(0, 0, right, 0);
            painter.setPen(light);
            painter.drawLine(0, 1, right, 1);
            break;
        case TShape::BottomLine:
            painter.setPen(shadow);
            painter.drawLine(0, bottom - 1, right, bottom - 1);
            painter.setPen(light);
            painter.drawLine(0, bottom, right, bottom);
            break;
        case TShape::Box:
            // Lowered: shadow on the top and left edges, highlight on the bottom and right.
            painter.setPen(shadow);
            painter.drawLine(0, 0, right - 1, 0);
            painter.drawLine(0, 0, 0, bottom - 1);
            painter.setPen(light);
            painter.drawLine(0, bottom, right, bottom);
            painter.drawLine(right, 0, right, bottom);
            break;
    }
}
