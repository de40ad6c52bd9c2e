#include "ui/qt/FormFont.h"

#include <QApplication>

QFont FormFont() {
    QFont font = QApplication::font();
    font.setPointSize(8);
    return font;
}
