#pragma once

#include <QFont>

// The font of the program's own windows: the toolkit's default family at 8 points, the size
// their control geometry was laid out for. Message boxes and stock dialogs keep the default.
QFont FormFont();
