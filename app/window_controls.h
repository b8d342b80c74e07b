// How the View's ids and the keyboard map onto the layout table, the same
// for every binding: each binding only finds its own widget for a row.
#pragma once

#include <string_view>
#include <vector>

#include "app/layout.h"
#include "app/view.h"

// The layout row's name of each field and number label the handlers use.
std::string_view control_name(EditId edit);
std::string_view control_name(LabelId label);

// Every row with a tab order, in the order Tab visits them: the window's by
// their tab order, each followed by the stops inside it (the tab control by
// those of its pages, page after page).
const std::vector<const LayoutRow*>& tab_chain();

// A progress bar keeps its place in the chain but takes no keyboard focus,
// so Tab passes it by.
bool takes_focus(const LayoutRow& row);
