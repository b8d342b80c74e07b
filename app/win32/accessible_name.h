// The name a screen reader speaks for a control through MSAA, where the
// control's own text would say nothing (a field) or too little (a bare
// number).
#pragma once

#include <windows.h>

#include <string>

// From now on the control answers MSAA's request for its client object with
// the system's standard object, named `name`; role, state and the rest stay
// the system's. `textIsValue`: the control's text (a label's number, which
// was its name) is heard as its value. Once per control; it holds until the
// control is destroyed.
void set_accessible_name(HWND control, const std::wstring& name, bool textIsValue);
