// Shows a number whole in a right-aligned label of the layout table.
#pragma once

#include <QRect>
#include <QString>

class QLabel;

// Sets `text` on `label`, whose box from the layout is `box`. Where the text
// fits, the label keeps that box and the window's font. Where it does not,
// the label first grows leftwards into the free space before it (up to the
// nearest control on its row, or its own left edge when there is none), and
// then its font shrinks until every character shows; the right edge, where
// the digits line up, never moves.
void show_number(QLabel& label, const QRect& box, const QString& text);
