#include "app/status_texts.h"

#include <cinttypes>
#include <cstdio>

#include "util/format_grouped.h"

std::string status_text::read_error(std::int64_t chunkStart) {
    char message[64];
    std::snprintf(message, sizeof message, "リードエラー 0x%" PRIx64, static_cast<std::uint64_t>(chunkStart));
    return message;
}

std::string status_text::confirm_cut(const std::string& path, std::int64_t currentLength, std::int64_t newLength) {
    return path + " を " + format_grouped(currentLength) + " バイトから " + format_grouped(newLength) +
           " バイトに切り詰めます。" + format_grouped(currentLength - newLength) +
           " バイトは元に戻せません。よろしいですか？";
}
