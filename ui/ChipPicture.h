#pragma once

#include <cstdint>
#include <span>
#include <vector>

// The chip picture of the about box and of the program's icon, written once for every face:
// a dark integrated-circuit body with eight pins on each long side, 66 x 52 pixels, on a
// transparent background. Each face draws the shapes in order with its own painter; the
// build rasterises them into the Windows executable's icon file.
struct TChipShape {
    enum class TKind { Rect, RoundRect, RightHalfEllipse, Ellipse, Line };
    TKind Kind;
    // The shape's box in picture pixels (a line runs from (X, Y) to (X + W, Y + H)).
    double X, Y, W, H;
    // 0xRRGGBB; a negative value means none.
    std::int32_t Fill;
    std::int32_t Edge;
    double EdgeWidth = 1;
    // The corner radius of a rounded rectangle.
    double Radius = 0;
};

inline constexpr int kChipWidth = 66;
inline constexpr int kChipHeight = 52;

std::span<const TChipShape> ChipShapes();

// The picture centred in a transparent square of size x size pixels, as 0xAARRGGBB values
// row by row from the top, edges smoothed.
std::vector<std::uint32_t> ChipPixels(int size);
