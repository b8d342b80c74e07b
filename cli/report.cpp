#include "cli/report.h"

#include "util/format_grouped.h"
#include "util/text_encoding.h"

namespace {

void append_escape(std::string& out, unsigned value) {
    static const char digits[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(digits[(value >> shift) & 15]);
}

// Length of the sequence a lead byte starts; 1 for a byte that starts none.
std::size_t sequence_length(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    return 1;
}

}  // namespace

std::string json_string(std::string_view path) {
    std::string out = "\"";
    for (std::size_t i = 0; i < path.size();) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (byte < 0x80) {
            switch (byte) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default:
                    if (byte < 0x20)
                        append_escape(out, byte);
                    else
                        out.push_back(static_cast<char>(byte));
            }
            ++i;
            continue;
        }
        const std::size_t length = sequence_length(byte);
        const std::string_view sequence = path.substr(i, length);
        if (length > 1 && sequence.size() == length && is_valid_utf8(sequence)) {
            out.append(sequence);
            i += length;
            continue;
        }
        // Each byte outside valid UTF-8 as its own escape, as Python's
        // surrogateescape decodes it: the name comes back byte for byte, and
        // two names never print alike. An encoded surrogate (a lone one from
        // a Windows name) is such bytes too.
        append_escape(out, 0xDC00u | byte);
        ++i;
    }
    out += "\"";
    return out;
}

void JsonObject::key(std::string_view name) {
    if (!fields_.empty()) fields_ += ",";
    fields_ += "\"";
    fields_ += name;
    fields_ += "\":";
}

JsonObject& JsonObject::text(std::string_view name, std::string_view value) {
    key(name);
    fields_ += json_string(value);
    return *this;
}

JsonObject& JsonObject::number(std::string_view name, std::int64_t value) {
    key(name);
    fields_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::boolean(std::string_view name, bool value) {
    key(name);
    fields_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::null(std::string_view name) {
    key(name);
    fields_ += "null";
    return *this;
}

std::string shown_path(std::string_view path) { return display_form(path); }

std::string bytes_text(std::int64_t count) { return format_grouped(count) + (count == 1 ? " byte" : " bytes"); }
