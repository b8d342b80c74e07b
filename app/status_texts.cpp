#include "app/status_texts.h"

#include <cinttypes>
#include <cstdio>

std::string status_text::read_error(std::int64_t chunkStart) {
    char message[64];
    std::snprintf(message, sizeof message, "リードエラー 0x%" PRIx64, static_cast<std::uint64_t>(chunkStart));
    return message;
}
