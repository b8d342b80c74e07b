#include "app/win32/number_label.h"

#include <cstdlib>
#include <string>

#include "app/number_fit.h"
#include "app/win32/text.h"

namespace {

// Below this the digits stop being readable; a text that still does not fit
// would be cut, but no 64-bit number comes near it.
constexpr int kSmallestHeight = 6;

}  // namespace

int NumberLabelFonts::baseHeight() const {
    LOGFONTW face{};
    GetObjectW(base_, sizeof face, &face);
    return std::abs(face.lfHeight);
}

HFONT NumberLabelFonts::ofHeight(int height) {
    if (height >= baseHeight()) return base_;
    auto& font = smaller_[height];
    if (!font) {
        LOGFONTW face{};
        GetObjectW(base_, sizeof face, &face);
        face.lfHeight = -height;
        face.lfWidth = 0;
        font.reset(CreateFontIndirectW(&face));
        if (!font) return base_;
    }
    return font.get();
}

int text_width(HWND window, HFONT font, const std::wstring& text) {
    const HDC dc = GetDC(window);
    if (dc == nullptr) return 0;
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return extent.cx;
}

void fit_number_label(HWND label, const Bounds& box, int leftLimit, NumberLabelFonts& fonts) {
    const std::wstring text = window_text(label);
    HFONT font = fonts.base();
    int needed = text_width(label, font, text);
    const Bounds placed = number_label_box(box, leftLimit, needed);
    for (int height = fonts.baseHeight() - 1; needed > placed.width && height >= kSmallestHeight; --height) {
        font = fonts.ofHeight(height);
        needed = text_width(label, font, text);
    }

    if (reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)) != font)
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    const HWND parent = GetParent(label);
    RECT before;
    GetWindowRect(label, &before);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&before), 2);
    SetWindowPos(label, nullptr, placed.left, placed.top, placed.width, placed.height, SWP_NOZORDER | SWP_NOACTIVATE);
    // The space a shrinking label gives back shows the window behind it again.
    InvalidateRect(parent, &before, TRUE);
    InvalidateRect(label, nullptr, TRUE);
}
