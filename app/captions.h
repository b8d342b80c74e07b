// The captions of the window in the user's language: the layout table's
// own (Japanese) text, or its English form, chosen to fit the same box.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The caption of the control (or menu command, "E1") `name`, whose layout
// caption is `layoutCaption`.
std::string localized_caption(std::string_view name, const char* layoutCaption);

// What a screen reader says for a field, number or bar that shows no words
// of its own: the caption beside it, and what the number is. Empty for
// controls whose caption already says what they are.
std::string accessible_name(std::string_view name);

// The choices of ComboBox1, in order: the padding byte the scan counts.
std::vector<std::string> pad_choice_items();
