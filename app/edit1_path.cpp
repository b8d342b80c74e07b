#include "app/edit1_path.h"

#include <cstdlib>

#include "util/text_encoding.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
std::string home_folder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return {};
}
#endif

}  // namespace

std::string path_from_edit1(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
#ifndef _WIN32
    if (text == "~" || text.starts_with("~/")) {
        const std::string home = home_folder();
        if (!home.empty()) text = home + text.substr(1);
    }
#endif
    return text;
}

std::string ExactPath::set(const std::string& path) {
    exact_ = path;
    shown_ = display_form(path);
    held_ = true;
    return shown_;
}

std::string ExactPath::resolve(const std::string& shown) const {
    return held_ && shown == shown_ ? exact_ : shown;
}
