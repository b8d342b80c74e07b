// Shows a number whole in a right-aligned label of the layout table, by the
// rule of app/number_fit.h.
#pragma once

#include <QString>

#include "app/layout.h"

class QLabel;

// Sets `text` on `label`, whose box from the layout is `box` and which may
// reach left as far as `leftLimit`; the font shrinks only when the text does
// not fit even there.
void show_number(QLabel& label, const Bounds& box, int leftLimit, const QString& text);
