// The window's event handlers, written once against View for every binding.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "size/trim.h"

class View;

// Edit5..Edit8 changed, CheckBox1 clicked: recomputes OutputSize and shows
// it in Label4 (grouped decimal) and Label5 (hexadecimal).
void UpdateOutputSize(View& form);

// "末尾ゼロ検索": scans the file in Edit1 and sets OutputSize to its length
// without the padding at its end, of the byte chosen in ComboBox1.
void Button1Click(View& form);

// Scans `path` for the padding byte chosen in ComboBox1, showing progress
// on the window and pumping its events between chunks; on failure the
// status text says why.
PaddingScan count_trailing_zeros(View& form, const std::string& path);

// "実行(&E)": gives the file named in Edit1 the length OutputSize.
void E1Click(View& form);

// "新規ファイル名生成": Edit1 becomes a chosen folder followed by a name made
// of the local time `now`.
void Button3Click(View& form, const std::tm& now);
void Button3Click(View& form);  // with the current local time

// Runs the folder chooser starting at `folder`; true with `folder` replaced by
// the chosen path, false (folder unchanged) when the user cancelled.
bool browse_for_folder(View& owner, std::string& folder, const std::string& title);

// Files dropped on the window: the first one's path goes into Edit1 and its
// length into Label1; the others are ignored.
void WMDropFiles(View& form, const std::vector<std::string>& paths);
