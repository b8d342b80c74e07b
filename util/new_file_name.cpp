#include "util/new_file_name.h"

#include <cstdio>
#include <optional>

#include "app/view.h"

std::string InitialFolder;

namespace {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

std::tm local_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

}  // namespace

std::string format_timestamp(const std::tm& local) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.4d%.2d%.2d-%.2d%.2d%.2d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return stamp;
}

bool browse_for_folder(View& owner, std::string& folder, const std::string& title) {
    InitialFolder = folder;
    std::optional<std::string> chosen = owner.chooseFolder(title, InitialFolder);
    if (!chosen) return false;
    folder = *chosen;
    return true;
}

void Button3Click(View& form, const std::tm& now) {
    const std::string stamp = format_timestamp(now);
    std::string folder;
    if (!browse_for_folder(form, folder, "作成先を選択してください")) return;
    form.showMessage(folder);
    // The separator goes in even after a folder that ends with one (a root).
    form.setEdit1Text(folder + kPathSeparator + stamp);
}

void Button3Click(View& form) { Button3Click(form, local_now()); }
