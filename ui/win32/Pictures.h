#pragma once

#include <windows.h>

// The about box's pictures, drawn with GDI, and the program's icon.

// An integrated-circuit chip, 66 x 52 pixels at 96 dpi, drawn with its top left corner at
// (left, top), scaled to the screen; nothing is drawn where the picture is transparent.
void DrawChipPicture(HDC dc, int left, int top);

// The pre-release stamp, BETA in tilted red-brown stencil letters inside a stamp frame,
// 130 x 66 pixels at 96 dpi, centred in area.
void DrawBetaStamp(HDC dc, const RECT& area);

// The program's icon (the chip picture, a resource of the executable) at size pixels.
HICON ChipIcon(int size);
