// The main window's layout, written once: every binding builds its window
// from this table, and the window tests check both bindings against it.
#pragma once

#include <span>
#include <string_view>

enum class ControlKind {
    Button,
    Edit,
    Label,        // a caption
    NumberLabel,  // a number display: right-aligned, fixed size
    PageControl,
    TabSheet,
    CheckBox,
    ProgressBar,
    ComboBox,     // a drop-down list to choose from
    StatusBar,
};

struct Bounds {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Bounds&) const = default;
};

struct LayoutRow {
    const char* name;
    ControlKind kind;
    const char* parent;  // nullptr: the window's client area
    Bounds bounds;       // relative to the parent's client area; none for pages
    const char* caption; // initial text; "" for none
    int tabOrder;        // 1-based position in its parent's tab order; 0: no tab stop
    // A number label whose background is the caption-text colour.
    bool setOff = false;
};

struct FormLayout {
    const char* caption;  // the title bar, "Tavrix v<version>"
    int clientWidth;
    int clientHeight;
    const char* fontFamily;
    int fontPointSize;
    const char* menuName;
    const char* executeItemName;
    const char* executeCaption;
    const char* applicationTitle;  // the title of our own message boxes
};

const FormLayout& form_layout();

// Every control, parents before their children, in creation order.
std::span<const LayoutRow> control_layout();

// The row of a control; nullptr when there is none of that name.
const LayoutRow* find_control(std::string_view name);
