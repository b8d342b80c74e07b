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

std::string status_text::with_cause(const std::string& text, OsdError cause) {
    const char* why = nullptr;
    switch (cause) {
        case OsdError::None: return text;
        case OsdError::NotFound: why = "見つかりません"; break;
        case OsdError::IsFolder: why = "フォルダーです"; break;
        case OsdError::NotRegularFile: why = "通常のファイルではありません"; break;
        case OsdError::AccessDenied: why = "アクセスが拒否されました"; break;
        case OsdError::AlreadyExists: why = "すでに存在します"; break;
        case OsdError::NoSpace: why = "ディスクに空きがありません"; break;
        case OsdError::TooLarge: why = "ファイルが大きすぎます"; break;
        case OsdError::FileSizeLimit: why = "ファイルサイズの上限を超えます"; break;
        case OsdError::ReadOnlyFileSystem: why = "読み取り専用のファイルシステムです"; break;
        case OsdError::LinkLoop: why = "シンボリックリンクの階層が深すぎます"; break;
        case OsdError::NameTooLong: why = "名前が長すぎます"; break;
        case OsdError::ReadFailed: why = "読み取りに失敗しました"; break;
        case OsdError::WriteFailed: why = "書き込みに失敗しました"; break;
        case OsdError::InvalidName: why = "名前が正しくありません"; break;
        case OsdError::Other: return text;
    }
    return text + "（" + why + "）";
}
