// Number labels that show every digit, by the rule of app/number_fit.h.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <type_traits>

#include "app/layout.h"

class NumberLabelFonts {
public:
    // `base`: the window's font, which a number that fits keeps.
    explicit NumberLabelFonts(HFONT base) : base_(base) {}
    HFONT base() const { return base_; }
    // The base font at `height` pixels (character height), made on first use.
    HFONT ofHeight(int height);
    // The base font's character height in pixels.
    int baseHeight() const;

private:
    struct Deleter {
        void operator()(HFONT font) const { DeleteObject(font); }
    };
    HFONT base_;
    std::map<int, std::unique_ptr<std::remove_pointer_t<HFONT>, Deleter>> smaller_;
};

// The width in pixels of `text` drawn in `font`.
int text_width(HWND window, HFONT font, const std::wstring& text);

// Places `label` (its text already set) for its text: `box` when the text
// fits, otherwise grown leftwards no further than `leftLimit` (in the
// parent's client area), and in the largest smaller font that fits there.
void fit_number_label(HWND label, const Bounds& box, int leftLimit, NumberLabelFonts& fonts);
