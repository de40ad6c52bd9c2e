#include "ui/win32/Pictures.h"

#include <cmath>

#include "ui/ChipPicture.h"
#include "ui/win32/Form.h"

namespace {

COLORREF Colour(std::int32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// GDI takes whole units: the shapes are drawn at kFine times their size, under a transform
// that scales them back.
constexpr int kFine = 4;

int Fine(double value) {
    return static_cast<int>(std::lround(value * kFine));
}

void DrawChipShapes(HDC dc) {
    const int saved = ::SaveDC(dc);
    for (const TChipShape& shape : ChipShapes()) {
        HPEN pen = shape.Edge >= 0 ? ::CreatePen(PS_SOLID, Fine(shape.EdgeWidth), Colour(shape.Edge))
                                   : static_cast<HPEN>(::GetStockObject(NULL_PEN));
        HBRUSH brush = shape.Fill >= 0 ? ::CreateSolidBrush(Colour(shape.Fill))
                                       : static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
        ::SelectObject(dc, pen);
        ::SelectObject(dc, brush);
        const int left = Fine(shape.X), top = Fine(shape.Y);
        const int right = Fine(shape.X + shape.W), bottom = Fine(shape.Y + shape.H);
        switch (shape.Kind) {
            case TChipShape::TKind::Rect:
                ::Rectangle(dc, left, top, right, bottom);
                break;
            case TChipShape::TKind::RoundRect:
                ::RoundRect(dc, left, top, right, bottom, Fine(2 * shape.Radius), Fine(2 * shape.Radius));
                break;
            case TChipShape::TKind::RightHalfEllipse: {
                const int middle = (left + right) / 2;
                ::Pie(dc, left, top, right, bottom, middle, bottom, middle, top);
                break;
            }
            case TChipShape::TKind::Ellipse:
                ::Ellipse(dc, left, top, right, bottom);
                break;
            case TChipShape::TKind::Line:
                ::MoveToEx(dc, left, top, nullptr);
                ::LineTo(dc, right, bottom);
                break;
        }
        ::SelectObject(dc, ::GetStockObject(NULL_PEN));
        ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
        if (shape.Edge >= 0) ::DeleteObject(pen);
        if (shape.Fill >= 0) ::DeleteObject(brush);
    }
    ::RestoreDC(dc, saved);
}

// Sets a transform on dc: 96-dpi picture coordinates, scaled by factor, placed at (x, y).
void Place(HDC dc, double factor, double x, double y, double degrees = 0) {
    ::SetGraphicsMode(dc, GM_ADVANCED);
    const double angle = degrees * 3.14159265358979 / 180;
    XFORM form{};
    form.eM11 = static_cast<FLOAT>(factor * std::cos(angle));
    form.eM12 = static_cast<FLOAT>(factor * std::sin(angle));
    form.eM21 = static_cast<FLOAT>(-factor * std::sin(angle));
    form.eM22 = static_cast<FLOAT>(factor * std::cos(angle));
    form.eDx = static_cast<FLOAT>(x);
    form.eDy = static_cast<FLOAT>(y);
    ::SetWorldTransform(dc, &form);
}

void Unplace(HDC dc) {
    ::ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
    ::SetGraphicsMode(dc, GM_COMPATIBLE);
}

}  // namespace

void DrawChipPicture(HDC dc, int left, int top) {
    const int saved = ::SaveDC(dc);
    Place(dc, TForm::Scale(1000) / 1000.0 / kFine, left, top);
    DrawChipShapes(dc);
    Unplace(dc);
    ::RestoreDC(dc, saved);
}

void DrawBetaStamp(HDC dc, const RECT& area) {
    const int saved = ::SaveDC(dc);
    const double factor = TForm::Scale(1000) / 1000.0;
    // Centred, tilted 12 degrees up to the right.
    Place(dc, factor, (area.left + area.right) / 2.0, (area.top + area.bottom) / 2.0, -12);
    const COLORREF ink = RGB(0x9A, 0x3B, 0x1F);
    HPEN frame = ::CreatePen(PS_SOLID, 3, ink);
    ::SelectObject(dc, frame);
    ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
    ::RoundRect(dc, -54, -20, 54, 20, 10, 10);

    HFONT font = ::CreateFontW(-30, 0, 0, 0, FW_HEAVY, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                               CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial");
    ::SelectObject(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ink);
    const wchar_t word[] = L"BETA";
    SIZE whole{};
    ::GetTextExtentPoint32W(dc, word, 4, &whole);
    int x = -(whole.cx + 9) / 2;
    const int y = -whole.cy / 2;
    HBRUSH face = ::GetSysColorBrush(COLOR_BTNFACE);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    // The capitals' box: from the top of the cell below its internal leading down to the baseline.
    const int capTop = y + metrics.tmInternalLeading;
    const int capHeight = metrics.tmAscent - metrics.tmInternalLeading;
    for (int i = 0; i < 4; ++i) {
        SIZE letter{};
        ::GetTextExtentPoint32W(dc, word + i, 1, &letter);
        ABC widths{};
        if (!::GetCharABCWidthsW(dc, word[i], word[i], &widths))
            widths = ABC{0, static_cast<UINT>(letter.cx), 0};
        ::TextOutW(dc, x, y, word + i, 1);
        const int left = x + widths.abcA;
        const int width = static_cast<int>(widths.abcB);
        // The stencil's bridges: under the bar of T and through the apex of A. The gaps that
        // hold B's bowls and E's arms depend on the weight of the stem, which the system's
        // fonts do not keep: cut blindly they make the letters unreadable.
        RECT bridge{};
        if (word[i] == L'T')
            bridge = RECT{left - 1, capTop + capHeight * 27 / 100, left + width + 1,
                          capTop + capHeight * 27 / 100 + 2};
        else if (word[i] == L'A')
            bridge =
                RECT{left + width / 2 - 1, capTop - 1, left + width / 2 + 1, capTop + capHeight * 45 / 100};
        if (bridge.right > bridge.left) ::FillRect(dc, &bridge, face);
        x += letter.cx + 3;
    }
    Unplace(dc);
    ::RestoreDC(dc, saved);
    ::DeleteObject(frame);
    ::DeleteObject(font);
}

HICON ChipIcon(int size) {
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, size,
                                           size, LR_DEFAULTCOLOR));
}
