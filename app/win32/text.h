// The wide Win32 API's UTF-16 and our UTF-8, through the one text-encoding
// module: lenient for texts shown to people, lossless for paths.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "util/text_encoding.h"

inline std::wstring widen(std::string_view utf8) {
    const std::u16string wide = text_to_utf16(utf8);
    return std::wstring(wide.begin(), wide.end());
}

inline std::string narrow(std::wstring_view wide) {
    return text_from_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

// A name from the system, kept whole even when it is not valid UTF-16.
inline std::string narrow_path(std::wstring_view wide) {
    return path_from_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

// A path for the wide API, kept whole (lone surrogates included); text that
// is no path at all is converted as a text.
inline std::wstring widen_path(std::string_view utf8) {
    if (const auto wide = path_to_utf16(utf8)) return std::wstring(wide->begin(), wide->end());
    return widen(utf8);
}

// The whole text of a window, however long.
inline std::wstring window_text(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}
