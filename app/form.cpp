#include "app/form.h"

View* Form1 = nullptr;
std::optional<std::int64_t> OutputSize = 0;
std::optional<ScannedFile> OutputSizeOrigin;
std::string InitialFolder;
