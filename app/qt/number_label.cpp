#include "app/qt/number_label.h"

#include <QFont>
#include <QFontMetrics>
#include <QLabel>

#include <algorithm>

namespace {

// Keeps a widened number clear of the caption or number before it.
constexpr int kGap = 6;
// Below this the digits are no longer told apart on screen.
constexpr double kSmallestPointSize = 4.0;

int textWidth(const QFont& font, const QString& text) {
    return QFontMetrics(font).horizontalAdvance(text);
}

// How far left the label may reach: just right of the nearest control that
// shares its row on the left, or its own left edge when nothing is there.
int leftLimit(const QLabel& label, const QRect& box) {
    int limit = box.left();
    bool found = false;
    const QWidget* parent = label.parentWidget();
    if (parent == nullptr) return limit;
    for (const QObject* child : parent->children()) {
        const auto* sibling = qobject_cast<const QWidget*>(child);
        if (sibling == nullptr || sibling == &label || sibling->isWindow()) continue;
        const QRect other = sibling->geometry();
        const bool sameRow = other.top() <= box.bottom() && box.top() <= other.bottom();
        if (!sameRow || other.right() >= box.left()) continue;
        const int reach = other.right() + 1 + kGap;
        limit = found ? std::max(limit, reach) : reach;
        found = true;
    }
    return std::min(limit, box.left());
}

}  // namespace

void show_number(QLabel& label, const QRect& box, const QString& text) {
    // The window's font, as inherited, unless this text needs a smaller one.
    label.setFont(QFont());
    label.setText(text);
    const QFont inherited = label.font();
    const int margins = label.contentsMargins().left() + label.contentsMargins().right() + 2 * label.margin();
    const int needed = textWidth(inherited, text) + margins;

    QRect placed = box;
    if (needed > box.width()) {
        const int widest = box.right() + 1 - leftLimit(label, box);
        placed.setLeft(box.right() + 1 - std::min(needed, widest));
        if (needed > widest) {
            QFont smaller = inherited;
            double size = inherited.pointSizeF();
            const int room = widest - margins;
            while (size > kSmallestPointSize && textWidth(smaller, text) > room) {
                size -= 0.25;
                smaller.setPointSizeF(size);
            }
            label.setFont(smaller);
        }
    }
    label.setFixedSize(placed.size());
    label.move(placed.topLeft());
}
