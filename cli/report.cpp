#include "cli/report.h"

#include <vector>

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

// How a piece of a name prints in text: as it is, as the quote ' (closed,
// escaped, reopened), or escaped within $'...'.
enum class PieceKind { Plain, Quote, Escaped };

struct Piece {
    std::size_t length;
    PieceKind kind;
};

// The piece at `at`: one byte, or one whole UTF-8 character.
Piece piece_at(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte == '\'') return {1, PieceKind::Quote};
    if (byte < 0x20 || byte == 0x7F) return {1, PieceKind::Escaped};
    if (byte < 0x80) return {1, PieceKind::Plain};
    const std::size_t length = sequence_length(byte);
    const std::string_view sequence = text.substr(at, length);
    if (length == 1 || sequence.size() < length || !is_valid_utf8(sequence)) return {1, PieceKind::Escaped};
    const bool c1Control = byte == 0xC2 && static_cast<unsigned char>(sequence[1]) < 0xA0;
    return {length, c1Control ? PieceKind::Escaped : PieceKind::Plain};
}

bool holds_escapes(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const Piece piece = piece_at(text, at);
        if (piece.kind == PieceKind::Escaped) return true;
        at += piece.length;
    }
    return false;
}

// \a … \r by letter, any other byte in octal, as $'...' reads them.
void append_shell_escape(std::string& out, unsigned char byte) {
    static const char letters[] = "abtnvfr";
    out += '\\';
    if (byte >= '\a' && byte <= '\r') {
        out += letters[byte - '\a'];
        return;
    }
    for (const int shift : {6, 3, 0}) out += static_cast<char>('0' + ((byte >> shift) & 7));
}

// The shell-escape quoting of GNU tools: 'a'$'\033''[2Jb'.
std::string shell_quoted(std::string_view text) {
    std::vector<Piece> pieces;
    bool holdsQuote = false;
    for (std::size_t at = 0; at < text.size(); at += pieces.back().length) {
        pieces.push_back(piece_at(text, at));
        holdsQuote = holdsQuote || pieces.back().kind == PieceKind::Quote;
    }
    // GNU tools open a name that holds a ' and ends escaped with an empty ''
    // ('''q'\'''$'\033'), and so does this, that both print it alike. Where
    // such a name also begins escaped, they drop its $' and print another
    // name: that is not followed.
    bool inEscape = holdsQuote && pieces.back().kind == PieceKind::Escaped &&
                    pieces.front().kind != PieceKind::Escaped;
    std::string out = "'";
    std::size_t at = 0;
    for (const Piece& piece : pieces) {
        const std::string_view bytes = text.substr(at, piece.length);
        at += piece.length;
        switch (piece.kind) {
            case PieceKind::Plain:
                if (inEscape) out += "''";
                out += bytes;
                inEscape = false;
                break;
            case PieceKind::Quote:
                out += "'\\''";
                inEscape = false;
                break;
            case PieceKind::Escaped:
                if (!inEscape) out += "'$'";
                for (const char byte : bytes) append_shell_escape(out, static_cast<unsigned char>(byte));
                inEscape = true;
                break;
        }
    }
    return out + "'";
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

std::string shown_path(std::string_view path) { return holds_escapes(path) ? shell_quoted(path) : std::string(path); }

std::string shown_argument(std::string_view argument) {
    return holds_escapes(argument) ? shell_quoted(argument) : "'" + std::string(argument) + "'";
}

std::string bytes_text(std::int64_t count) { return format_grouped(count) + (count == 1 ? " byte" : " bytes"); }

namespace {

FailureWords same(std::string words) { return {words, words}; }

// Words for a step when the system named no cause.
const char* step_words(Failure::Step step) {
    using Step = Failure::Step;
    switch (step) {
        case Step::Open: return "cannot open";
        case Step::Lock: return "cannot hold it alone";
        case Step::Create: return "cannot create";
        case Step::Retest: return "read error";
        case Step::SetEnd: return "cannot set the length";
        case Step::Write: return "write error";
        case Step::Close: return "cannot close";
        default: return "failed";
    }
}

FailureWords cause_words(OsdError cause, Failure::Step step) {
    if (cause == OsdError::None || cause == OsdError::Other) return same(step_words(step));
    return {cause_json(cause), osd_error_text(cause)};
}

}  // namespace

std::string cause_json(OsdError cause) {
    switch (cause) {
        case OsdError::InUse: return "in_use";
        case OsdError::Locked: return "locked";
        default: return osd_error_text(cause);
    }
}

FailureWords failure_words(const Failure& failure, std::string_view undoneAs) {
    using Step = Failure::Step;
    FailureWords words;
    switch (failure.step) {
        case Step::SizeBelowZero: words = same("the size would be below 0"); break;
        case Step::SizeTooLarge: words = same("the size would be too large"); break;
        case Step::Declined: words = same("declined"); break;
        case Step::Changed: words = {"changed", "changed since it was scanned"}; break;
        case Step::Memory: words = same("out of memory"); break;
        case Step::Stopped: words = same("interrupted"); break;
        case Step::Space:
            words = {osd_error_text(OsdError::NoSpace), std::string(osd_error_text(OsdError::NoSpace)) + " (needs " +
                                                            format_binary_size(failure.needed) + ", " +
                                                            format_binary_size(failure.available) + " free)"};
            break;
        case Step::ReadBack:
            words = {"length not kept", "the length did not take (the file stays " + bytes_text(failure.keptLength) + ")"};
            break;
        default: words = cause_words(failure.cause, failure.step); break;
    }
    if (failure.undoFailed) words.text += " (and the file could not be " + std::string(undoneAs) + ")";
    return words;
}

FailureWords scan_failure_words(const ScanResult& scan) {
    if (scan.status == ScanResult::Status::NoBuffer) return same("out of memory");
    return cause_words(scan.error, scan.status == ScanResult::Status::ReadError ? Failure::Step::Retest
                                                                                  : Failure::Step::Open);
}

