#include "app/number_fit.h"

#include <algorithm>
#include <string_view>

namespace {

bool same_parent(const char* a, const char* b) {
    return a == nullptr || b == nullptr ? a == b : std::string_view(a) == b;
}

}  // namespace

int number_label_left_limit(const LayoutRow& row, const std::function<int(const LayoutRow&)>& placedRight) {
    const Bounds& box = row.bounds;
    int limit = box.left;
    bool found = false;
    for (const LayoutRow& other : control_layout()) {
        if (&other == &row || other.kind == ControlKind::TabSheet || !same_parent(other.parent, row.parent)) continue;
        const bool sameRow = other.bounds.top < box.top + box.height && box.top < other.bounds.top + other.bounds.height;
        if (!sameRow || other.bounds.left + other.bounds.width > box.left) continue;
        const int reach = placedRight(other) + kNumberLabelGap;
        limit = found ? std::max(limit, reach) : reach;
        found = true;
    }
    return std::min(limit, box.left);
}

Bounds number_label_box(const Bounds& box, int leftLimit, int needed) {
    const int right = box.left + box.width;
    const int widest = std::max(box.width, right - leftLimit);
    const int width = std::clamp(needed, box.width, widest);
    return {right - width, box.top, width, box.height};
}
