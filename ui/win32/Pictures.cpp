#include "ui/win32/Pictures.h"

#include <cmath>
#include <vector>

#include "ui/win32/Form.h"

namespace {

constexpr int kChipWidth = 66;
constexpr int kChipHeight = 52;

// Draws the chip at 96-dpi coordinates through a scaling of the device context.
void DrawChipShapes(HDC dc) {
    HPEN pinEdge = ::CreatePen(PS_SOLID, 1, RGB(0x70, 0x70, 0x70));
    HBRUSH pin = ::CreateSolidBrush(RGB(0xC8, 0xC8, 0xC8));
    HGDIOBJ oldPen = ::SelectObject(dc, pinEdge);
    HGDIOBJ oldBrush = ::SelectObject(dc, pin);
    // Eight pins on the top and bottom edges.
    for (int i = 0; i < 8; ++i) {
        const int x = 9 + (i * 13) / 2;
        ::Rectangle(dc, x, 1, x + 4, 11);
        ::Rectangle(dc, x, 41, x + 4, 51);
    }
    // The package body with a lighter rim, the orientation notch and the pin-one dot.
    HPEN rim = ::CreatePen(PS_SOLID, 1, RGB(0x55, 0x55, 0x5A));
    HBRUSH body = ::CreateSolidBrush(RGB(0x24, 0x24, 0x28));
    ::SelectObject(dc, rim);
    ::SelectObject(dc, body);
    ::RoundRect(dc, 5, 9, 61, 43, 4, 4);
    HBRUSH notch = ::CreateSolidBrush(RGB(0x10, 0x10, 0x12));
    ::SelectObject(dc, ::GetStockObject(NULL_PEN));
    ::SelectObject(dc, notch);
    ::Pie(dc, 1, 21, 10, 32, 5, 32, 5, 21);
    HBRUSH dot = ::CreateSolidBrush(RGB(0x60, 0x60, 0x66));
    ::SelectObject(dc, dot);
    ::Ellipse(dc, 10, 34, 15, 39);
    // Faint marking lines, as a part number would be printed.
    HPEN marking = ::CreatePen(PS_SOLID, 2, RGB(0x9A, 0x9A, 0xA0));
    ::SelectObject(dc, marking);
    ::MoveToEx(dc, 20, 21, nullptr);
    ::LineTo(dc, 50, 21);
    ::MoveToEx(dc, 20, 27, nullptr);
    ::LineTo(dc, 42, 27);
    ::SelectObject(dc, oldPen);
    ::SelectObject(dc, oldBrush);
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(pinEdge), static_cast<HGDIOBJ>(pin),
                           static_cast<HGDIOBJ>(rim), static_cast<HGDIOBJ>(body), static_cast<HGDIOBJ>(notch),
                           static_cast<HGDIOBJ>(dot), static_cast<HGDIOBJ>(marking)})
        ::DeleteObject(object);
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
    Place(dc, TForm::Scale(1000) / 1000.0, left, top);
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
    for (int i = 0; i < 4; ++i) {
        SIZE letter{};
        ::GetTextExtentPoint32W(dc, word + i, 1, &letter);
        ::TextOutW(dc, x, y, word + i, 1);
        // The stencil's bridges: a gap through the stem of B and E, under the bar of T,
        // through the apex of A.
        RECT bridge{};
        if (word[i] == L'T')
            bridge = RECT{x, y + letter.cy * 2 / 5, x + letter.cx, y + letter.cy * 2 / 5 + 2};
        else if (word[i] == L'A')
            bridge = RECT{x + letter.cx / 2 - 1, y, x + letter.cx / 2 + 1, y + letter.cy / 2};
        else
            bridge = RECT{x + letter.cx * 36 / 100, y, x + letter.cx * 36 / 100 + 2, y + letter.cy};
        ::FillRect(dc, &bridge, face);
        x += letter.cx + 3;
    }
    Unplace(dc);
    ::RestoreDC(dc, saved);
    ::DeleteObject(frame);
    ::DeleteObject(font);
}

HICON ChipIcon(int size) {
    // The chip on magenta, its transparent colour, in a square; magenta becomes the mask.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP colour = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ::ReleaseDC(nullptr, screen);
    if (colour == nullptr) {
        ::DeleteDC(dc);
        return nullptr;
    }
    HGDIOBJ old = ::SelectObject(dc, colour);
    const COLORREF magenta = RGB(0xFF, 0x00, 0xFF);
    HBRUSH background = ::CreateSolidBrush(magenta);
    RECT all{0, 0, size, size};
    ::FillRect(dc, &all, background);
    ::DeleteObject(background);
    const double factor = static_cast<double>(size) / kChipWidth;
    Place(dc, factor, 0, (size - kChipHeight * factor) / 2);
    DrawChipShapes(dc);
    Unplace(dc);
    ::GdiFlush();
    auto* pixels = static_cast<std::uint32_t*>(bits);
    std::vector<unsigned char> mask(static_cast<std::size_t>((size + 15) / 16 * 2) * size, 0);
    const int stride = (size + 15) / 16 * 2;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            std::uint32_t& p = pixels[y * size + x];
            if ((p & 0xFFFFFF) == 0xFF00FF) {
                p = 0;
                mask[y * stride + x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
            } else {
                p |= 0xFF000000;
            }
        }
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    HBITMAP maskBitmap = ::CreateBitmap(size, size, 1, 1, mask.data());
    ICONINFO icon{};
    icon.fIcon = TRUE;
    icon.hbmColor = colour;
    icon.hbmMask = maskBitmap;
    HICON result = ::CreateIconIndirect(&icon);
    ::DeleteObject(colour);
    ::DeleteObject(maskBitmap);
    return result;
}
