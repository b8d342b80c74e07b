// The window's texts that are not captions, in the user's language; the
// path goes where a function takes one. Under Japanese they are the texts
// the window has always shown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "osd/osd.h"
#include "size/failure.h"

enum class Language { Japanese, English };

// The language of every text of the window, chosen once at start.
extern Language UiLanguage;

// Japanese for a user interface language "ja…", English for any other.
Language language_for(std::string_view uiLanguageName);

namespace status_text {

std::string cannot_open(const std::string& path);
std::string cannot_create(const std::string& path);
std::string created(const std::string& path);
std::string cannot_set_end();
std::string invalid_size();
std::string file_changed_since_scan();
std::string no_file_name();
std::string length_not_kept();  // the cause when a length did not take

// A failure's text with its cause after it, "…（アクセスが拒否されました）";
// the text alone when the cause is unknown.
std::string with_cause(const std::string& text, OsdError cause);
std::string with_reason(const std::string& text, const std::string& reason);

// What the status line says of a change of `path` that failed; empty for
// a cut the user declined.
std::string failure(const Failure& failure, const std::string& path);

// Asked before Execute cuts bytes that no scan of this file measured.
std::string confirm_cut(const std::string& path, std::int64_t currentLength, std::int64_t newLength);

// The scan's texts: no blank before the words here, in Japanese.
std::string scan_cannot_open(const std::string& path);
std::string no_buffer();
std::string read_error(std::int64_t chunkStart);  // "リードエラー 0x…"
std::string scan_cancelled();
std::string execute_cancelled();

// Long work of Execute under way: "実行中 37%（28 MB/s、残り 41 秒）", the
// rate in bytes a second and the seconds left left out while unknown (0, -1).
std::string working(int percent, double bytesPerSecond, double secondsLeft);

// In Label4 and Label5 when the calculator's total does not fit.
std::string out_of_range();

std::string choose_folder_title();

}  // namespace status_text
