#include "util/timestamp.h"

#include <cstdio>

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

std::string format_timestamp(const std::tm& local) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%.4d%.2d%.2d-%.2d%.2d%.2d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return stamp;
}

std::string timestamped_path(const std::string& folder, const std::tm& local) {
    return folder + kPathSeparator + format_timestamp(local);
}

std::string unique_timestamped_path(const std::string& folder, const std::tm& local,
                                    bool (*exists)(const std::string& path)) {
    const std::string base = timestamped_path(folder, local);
    std::string candidate = base;
    for (int suffix = 2; exists(candidate); ++suffix) candidate = base + "-" + std::to_string(suffix);
    return candidate;
}
