// The captions of the window in the user's language: the layout table's
// own (Japanese) text, or its English form, chosen to fit the same box.
#pragma once

#include <string>
#include <string_view>

// The caption of the control (or menu command, "E1") `name`, whose layout
// caption is `layoutCaption`.
std::string localized_caption(std::string_view name, const char* layoutCaption);
