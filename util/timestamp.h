// Time-stamped file names: "YYYYMMDD-hhmmss" from local time.
#pragma once

#include <ctime>
#include <string>

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The current local time, broken down.
std::tm local_now();

// "YYYYMMDD-hhmmss" from broken-down local time.
std::string format_timestamp(const std::tm& local);

// `folder`, a separator (even after a folder that ends with one, such as a
// root), and the time stamp.
std::string timestamped_path(const std::string& folder, const std::tm& local);

// Like timestamped_path, but when that name exists, "-2", "-3" … is added
// until it names nothing; `exists` tests a candidate.
std::string unique_timestamped_path(const std::string& folder, const std::tm& local,
                                    bool (*exists)(const std::string& path));
