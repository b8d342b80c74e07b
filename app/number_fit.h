// How a number label shows every digit, the same for every binding: it keeps
// the layout's box while the text fits there; a longer number first takes
// the free space before the label, then a smaller font. The right edge,
// where the digits line up, never moves.
#pragma once

#include <functional>

#include "app/layout.h"

// Keeps a widened number clear of the caption or number before it.
inline constexpr int kNumberLabelGap = 4;

// How far left the number label of `row` may reach: kNumberLabelGap right of
// the nearest control before it on its row, as placed now (`placedRight`
// gives a row's right edge in its parent; captions may have widened), or the
// label's own left edge when nothing is there.
int number_label_left_limit(const LayoutRow& row, const std::function<int(const LayoutRow&)>& placedRight);

// The box for a text `needed` pixels wide in the window's font (margins
// included). A text wider than the box it gets needs a smaller font.
Bounds number_label_box(const Bounds& box, int leftLimit, int needed);
