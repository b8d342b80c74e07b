// What the program prints: one JSON object per line for scripts, or one line
// of text per file for people.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A JSON string literal for a path. Valid UTF-8 (RFC 3629: no encoded
// surrogates, no overlong forms) is kept as it is; every other byte becomes
// \udc80 … \udcff, the escape Python's surrogateescape decodes back to that
// byte. A lone UTF-16 surrogate of a Windows name, carried as WTF-8, is
// three such bytes.
std::string json_string(std::string_view path);

// One JSON object, built field by field in the order given.
class JsonObject {
public:
    JsonObject& text(std::string_view key, std::string_view value);
    JsonObject& number(std::string_view key, std::int64_t value);
    JsonObject& boolean(std::string_view key, bool value);
    JsonObject& null(std::string_view key);
    // The object and a newline.
    std::string line() const { return "{" + fields_ + "}\n"; }

private:
    void key(std::string_view name);
    std::string fields_;
};

// A path in text for people: as it is, unless it holds a control character
// (below 0x20, 0x7F, U+0080 to U+009F) or a byte outside valid UTF-8. Such
// a name is quoted as GNU tools quote it ('a'$'\033''[2Jb'), so no byte of
// it acts on the terminal and, pasted into a shell, it is the name again.
std::string shown_path(std::string_view path);

// An argument echoed in a message: 'as typed', or quoted as above.
std::string shown_argument(std::string_view argument);

// "1,234 bytes", "1 byte".
std::string bytes_text(std::int64_t count);
