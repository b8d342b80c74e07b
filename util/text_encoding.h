// UTF-8 (our texts and paths) to and from UTF-16 (the wide Win32 API and Qt).
//
// One policy for every conversion:
// - Paths are converted losslessly. A file name may hold an unpaired
//   surrogate (legal on NTFS) or, on Linux, bytes that are not UTF-8 at all;
//   both must still name the same file. Unpaired surrogates travel in UTF-8
//   as their three-byte form (the "WTF-8" convention) and come back as they
//   were. Any other invalid UTF-8 is refused when a path is converted, so a
//   mangled name can never open some other file.
// - Texts meant for people are converted leniently: every invalid sequence
//   becomes U+FFFD, so something readable is always shown.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Path conversions (lossless; nullopt when the UTF-8 is not valid UTF-8
// or WTF-8).
std::optional<std::u16string> path_to_utf16(std::string_view utf8);
std::string path_from_utf16(std::u16string_view utf16);

// Text conversions (lenient: invalid sequences become U+FFFD).
std::u16string text_to_utf16(std::string_view utf8);
std::string text_from_utf16(std::u16string_view utf16);

// True when every byte belongs to a well-formed UTF-8 sequence (no
// surrogates, no overlong forms).
bool is_valid_utf8(std::string_view bytes);

// The bytes as valid UTF-8 for display: each byte that is not part of a
// well-formed sequence becomes U+FFFD.
std::string display_form(std::string_view bytes);
