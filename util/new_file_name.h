#pragma once

#include <ctime>
#include <string>

class View;

// The folder the chooser opens on; set by browse_for_folder.
extern std::string InitialFolder;

// "YYYYMMDD-hhmmss" from broken-down local time.
std::string format_timestamp(const std::tm& local);

// Runs the folder chooser starting at `folder`; true with `folder` replaced by
// the chosen path, false (folder unchanged) when the user cancelled.
bool browse_for_folder(View& owner, std::string& folder, const std::string& title);

// The "新規ファイル名生成" button: Edit1 becomes a chosen folder followed by
// a name made of the local time `now`.
void Button3Click(View& form, const std::tm& now);
void Button3Click(View& form);  // with the current local time
