// The application's icon for every window of the program.
#pragma once

#include <QIcon>

// From the desktop's icon theme by the application id, as the launcher shows
// it; the icon built into the program where the theme has none.
QIcon application_icon();
