// What the program prints: one JSON object per line for scripts, or one line
// of text per file for people.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "size/failure.h"
#include "size/scan.h"

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

// How a failure reads: the short JSON "error" and the words for people.
struct FailureWords {
    std::string json;
    std::string text;
};

// A cause in JSON: its words, but "in_use" and "locked" for another
// program's hold, which scripts wait out.
std::string cause_json(OsdError cause);

// The words of a change that failed. `undoneAs` says what putting the file
// back would have been ("put back", "removed"), for a failure that could not.
FailureWords failure_words(const Failure& failure, std::string_view undoneAs);

// The words of a scan that failed.
FailureWords scan_failure_words(const ScanResult& scan);
