#pragma once

#include <string>
#include <vector>

class View;

// Files dropped on the window: the first one's path goes into Edit1 and its
// length into Label1; the others are ignored.
void WMDropFiles(View& form, const std::vector<std::string>& paths);
