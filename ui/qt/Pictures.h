#pragma once

#include <QPixmap>

// The about box's pictures, drawn at run time on transparent backgrounds.

// An integrated-circuit chip: a dark body with a row of pins on each long side, 66 x 52.
QPixmap DrawChipPicture();

// The pre-release stamp: BETA in tilted red-brown stencil letters inside a stamp frame, 130 x 66.
QPixmap DrawBetaStamp();
