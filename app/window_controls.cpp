#include "app/window_controls.h"

#include <algorithm>
#include <limits>

std::string_view control_name(EditId edit) {
    switch (edit) {
        case EditId::Edit1: return "Edit1";
        case EditId::Edit5: return "Edit5";
        case EditId::Edit6: return "Edit6";
        case EditId::Edit7: return "Edit7";
        case EditId::Edit8: return "Edit8";
    }
    return "Edit1";
}

std::string_view control_name(LabelId label) {
    switch (label) {
        case LabelId::Label1: return "Label1";
        case LabelId::Label4: return "Label4";
        case LabelId::Label5: return "Label5";
        case LabelId::Label9: return "Label9";
    }
    return "Label1";
}

namespace {

bool same_parent(const char* a, const char* b) {
    return a == nullptr || b == nullptr ? a == b : std::string_view(a) == b;
}

// The children of `parent` by tab order (those without one after them, in
// table order), each followed by what lies inside it.
void append_in_tab_order(const char* parent, std::vector<const LayoutRow*>& chain) {
    std::vector<const LayoutRow*> children;
    for (const LayoutRow& row : control_layout()) {
        if (same_parent(row.parent, parent)) children.push_back(&row);
    }
    const auto key = [](const LayoutRow* row) {
        return row->tabOrder > 0 ? row->tabOrder : std::numeric_limits<int>::max();
    };
    std::stable_sort(children.begin(), children.end(),
                     [&](const LayoutRow* a, const LayoutRow* b) { return key(a) < key(b); });
    for (const LayoutRow* row : children) {
        if (row->tabOrder > 0) chain.push_back(row);
        append_in_tab_order(row->name, chain);
    }
}

}  // namespace

const std::vector<const LayoutRow*>& tab_chain() {
    static const std::vector<const LayoutRow*> chain = [] {
        std::vector<const LayoutRow*> rows;
        append_in_tab_order(nullptr, rows);
        return rows;
    }();
    return chain;
}

bool takes_focus(const LayoutRow& row) { return row.kind != ControlKind::ProgressBar; }
