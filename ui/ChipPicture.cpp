#include "ui/ChipPicture.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using K = TChipShape::TKind;

constexpr std::int32_t kPin = 0xC8C8C8;
constexpr std::int32_t kPinEdge = 0x707070;

constexpr std::array<TChipShape, 21> kShapes = [] {
    std::array<TChipShape, 21> shapes{};
    std::size_t n = 0;
    // Eight pins on the top and bottom edges, silver with a darker edge.
    for (int i = 0; i < 8; ++i) {
        const double x = 9.5 + i * 6.5;
        shapes[n++] = TChipShape{K::Rect, x, 1.5, 3, 9, kPin, kPinEdge};
        shapes[n++] = TChipShape{K::Rect, x, 41.5, 3, 9, kPin, kPinEdge};
    }
    // The package body with a lighter rim, the orientation notch and the pin-one dot.
    shapes[n++] = TChipShape{K::RoundRect, 5.5, 9.5, 55, 33, 0x242428, 0x55555A, 1, 2};
    shapes[n++] = TChipShape{K::RightHalfEllipse, 1.5, 21, 8, 10, 0x101012, -1};
    shapes[n++] = TChipShape{K::Ellipse, 10, 33.5, 4, 4, 0x606066, -1};
    // Faint marking lines, as a part number would be printed.
    shapes[n++] = TChipShape{K::Line, 20, 21.5, 30, 0, -1, 0x9A9AA0, 1.5};
    shapes[n++] = TChipShape{K::Line, 20, 27.5, 22, 0, -1, 0x9A9AA0, 1.5};
    return shapes;
}();

// Signed distance from (px, py) to the shape's outline: negative inside.
double Distance(const TChipShape& s, double px, double py) {
    switch (s.Kind) {
        case K::Rect:
        case K::RoundRect: {
            const double r = s.Kind == K::RoundRect ? s.Radius : 0;
            const double dx = std::abs(px - (s.X + s.W / 2)) - (s.W / 2 - r);
            const double dy = std::abs(py - (s.Y + s.H / 2)) - (s.H / 2 - r);
            const double outside = std::hypot(std::max(dx, 0.0), std::max(dy, 0.0));
            return outside + std::min(std::max(dx, dy), 0.0) - r;
        }
        case K::Ellipse:
        case K::RightHalfEllipse: {
            const double cx = s.X + s.W / 2, cy = s.Y + s.H / 2;
            const double nx = (px - cx) / (s.W / 2), ny = (py - cy) / (s.H / 2);
            double d = (std::hypot(nx, ny) - 1) * std::min(s.W, s.H) / 2;
            if (s.Kind == K::RightHalfEllipse) d = std::max(d, cx - px);
            return d;
        }
        case K::Line: {
            // Square caps: the line's rectangle grown by half the width at each end.
            const double half = s.EdgeWidth / 2;
            const double x0 = std::min(s.X, s.X + s.W) - half, x1 = std::max(s.X, s.X + s.W) + half;
            const double y0 = std::min(s.Y, s.Y + s.H) - half, y1 = std::max(s.Y, s.Y + s.H) + half;
            const double dx = std::max(x0 - px, px - x1), dy = std::max(y0 - py, py - y1);
            return std::max(dx, dy);
        }
    }
    return 1;
}

struct TColour {
    double R = 0, G = 0, B = 0, A = 0;
};

void Over(TColour& under, std::int32_t rgb, double alpha) {
    const double r = ((rgb >> 16) & 0xFF) / 255.0, g = ((rgb >> 8) & 0xFF) / 255.0, b = (rgb & 0xFF) / 255.0;
    under.R = r * alpha + under.R * (1 - alpha);
    under.G = g * alpha + under.G * (1 - alpha);
    under.B = b * alpha + under.B * (1 - alpha);
    under.A = alpha + under.A * (1 - alpha);
}

}  // namespace

std::span<const TChipShape> ChipShapes() {
    return kShapes;
}

std::vector<std::uint32_t> ChipPixels(int size) {
    constexpr int kSamples = 4;
    const double scale = static_cast<double>(size) / kChipWidth;
    const double top = (size - kChipHeight * scale) / 2;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) * static_cast<std::size_t>(size), 0);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            TColour sum;
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double px = (x + (sx + 0.5) / kSamples) / scale;
                    const double py = (y - top + (sy + 0.5) / kSamples) / scale;
                    TColour c;
                    for (const TChipShape& shape : kShapes) {
                        const double d = Distance(shape, px, py);
                        if (shape.Kind == K::Line) {
                            if (d <= 0) Over(c, shape.Edge, 1);
                            continue;
                        }
                        if (shape.Fill >= 0 && d <= 0) Over(c, shape.Fill, 1);
                        if (shape.Edge >= 0 && std::abs(d) <= shape.EdgeWidth / 2) Over(c, shape.Edge, 1);
                    }
                    // Premultiplied sums, so that edges blend towards transparency.
                    sum.R += c.R * c.A;
                    sum.G += c.G * c.A;
                    sum.B += c.B * c.A;
                    sum.A += c.A;
                }
            if (sum.A <= 0) continue;
            const auto channel = [&](double premultiplied) {
                return static_cast<std::uint32_t>(
                    std::lround(std::clamp(premultiplied / sum.A, 0.0, 1.0) * 255));
            };
            const auto alpha = static_cast<std::uint32_t>(std::lround(sum.A / (kSamples * kSamples) * 255));
            pixels[static_cast<std::size_t>(y) * size + x] =
                alpha << 24 | channel(sum.R) << 16 | channel(sum.G) << 8 | channel(sum.B);
        }
    return pixels;
}
