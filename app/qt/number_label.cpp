#include "app/qt/number_label.h"

#include <QFont>
#include <QFontMetrics>
#include <QLabel>

#include "app/number_fit.h"

namespace {

// Below this the digits are no longer told apart on screen.
constexpr double kSmallestPointSize = 4.0;

int textWidth(const QFont& font, const QString& text) {
    return QFontMetrics(font).horizontalAdvance(text);
}

}  // namespace

void show_number(QLabel& label, const Bounds& box, int leftLimit, const QString& text) {
    // The window's font, as inherited, unless this text needs a smaller one.
    label.setFont(QFont());
    label.setText(text);
    // Its accessible name says what the number is; the number itself reaches
    // a screen reader as the description.
    label.setAccessibleDescription(text);
    const QFont inherited = label.font();
    const int margins = label.contentsMargins().left() + label.contentsMargins().right() + 2 * label.margin();
    const int needed = textWidth(inherited, text) + margins;

    const Bounds placed = number_label_box(box, leftLimit, needed);
    if (needed > placed.width) {
        QFont smaller = inherited;
        double size = inherited.pointSizeF();
        const int room = placed.width - margins;
        while (size > kSmallestPointSize && textWidth(smaller, text) > room) {
            size -= 0.25;
            smaller.setPointSizeF(size);
        }
        label.setFont(smaller);
    }
    label.setFixedSize(placed.width, placed.height);
    label.move(placed.left, placed.top);
}
