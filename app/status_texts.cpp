#include "app/status_texts.h"

#include <cinttypes>
#include <cstdio>

#include "util/format_grouped.h"

Language UiLanguage = Language::Japanese;

Language language_for(std::string_view uiLanguageName) {
    return uiLanguageName.starts_with("ja") ? Language::Japanese : Language::English;
}

namespace {

bool japanese() { return UiLanguage == Language::Japanese; }

}  // namespace

std::string status_text::cannot_open(const std::string& path) {
    return japanese() ? path + " を開けません" : "Cannot open " + path;
}
std::string status_text::cannot_create(const std::string& path) {
    return japanese() ? path + " を作成できません" : "Cannot create " + path;
}
std::string status_text::created(const std::string& path) {
    return japanese() ? path + "を作成しました" : path + ": length set";
}
std::string status_text::cannot_set_end() {
    return japanese() ? "EOFをセットできません" : "Cannot set the end of the file";
}
std::string status_text::invalid_size() { return japanese() ? "出力サイズが不正です" : "Invalid output size"; }
std::string status_text::file_changed_since_scan() {
    return japanese() ? "ファイルが検索時と異なります" : "The file has changed since the scan";
}
std::string status_text::no_file_name() {
    return japanese() ? "ファイル名を指定してください" : "Enter a file name";
}
std::string status_text::length_not_kept() {
    return japanese() ? "長さが保たれませんでした" : "the length was not kept";
}

std::string status_text::with_cause(const std::string& text, OsdError cause) {
    if (cause == OsdError::None || cause == OsdError::Other) return text;
    // English causes are the command line's words.
    if (!japanese()) return with_reason(text, osd_error_text(cause));
    const char* why = "";
    switch (cause) {
        case OsdError::None:
        case OsdError::Other: break;
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
        case OsdError::InputOutput: why = "入出力エラーです"; break;
        case OsdError::Shrank: why = "途中で短くなりました"; break;
        case OsdError::InvalidName: why = "名前が正しくありません"; break;
        case OsdError::InUse: why = "ほかのプログラムが使用中です"; break;
        case OsdError::Locked: why = "ほかのプログラムがロックしています"; break;
    }
    return with_reason(text, why);
}

std::string status_text::failure(const Failure& failure, const std::string& path) {
    using Step = Failure::Step;
    switch (failure.step) {
        case Step::SizeBelowZero:
        case Step::SizeTooLarge: return invalid_size();
        case Step::Open:
        case Step::Lock: return with_cause(cannot_open(path), failure.cause);
        case Step::Create: return with_cause(cannot_create(path), failure.cause);
        case Step::Declined: return {};
        case Step::Changed: return file_changed_since_scan();
        case Step::Retest: return with_cause(read_error(failure.offset), failure.cause);
        case Step::Space:
            return with_reason(cannot_set_end(), japanese() ? "ディスクに空きがありません" : "no space left on the device");
        case Step::Memory: return no_buffer();
        case Step::SetEnd:
        case Step::Write:
        case Step::Close: return with_cause(cannot_set_end(), failure.cause);
        case Step::ReadBack: return with_reason(cannot_set_end(), length_not_kept());
        case Step::Stopped: return execute_cancelled();
    }
    return cannot_set_end();
}

std::string status_text::with_reason(const std::string& text, const std::string& reason) {
    return japanese() ? text + "（" + reason + "）" : text + " (" + reason + ")";
}

std::string status_text::confirm_cut(const std::string& path, std::int64_t currentLength, std::int64_t newLength) {
    const std::string from = format_grouped(currentLength);
    const std::string to = format_grouped(newLength);
    const std::string lost = format_grouped(currentLength - newLength);
    if (japanese())
        return path + " を " + from + " バイトから " + to + " バイトに切り詰めます。" + lost +
               " バイトは元に戻せません。よろしいですか？";
    return "Cut " + path + " from " + from + " bytes to " + to + " bytes? The " + lost +
           " bytes cut off cannot be restored.";
}

std::string status_text::scan_cannot_open(const std::string& path) {
    return japanese() ? path + "を開けません" : "Cannot open " + path;
}
std::string status_text::no_buffer() {
    return japanese() ? "バッファを確保できません" : "Cannot allocate the buffer";
}
std::string status_text::read_error(std::int64_t chunkStart) {
    char offset[32];
    std::snprintf(offset, sizeof offset, "0x%" PRIx64, static_cast<std::uint64_t>(chunkStart));
    return (japanese() ? "リードエラー " : "Read error at ") + std::string(offset);
}
std::string status_text::scan_cancelled() { return japanese() ? "検索を中止しました" : "Scan cancelled"; }
std::string status_text::execute_cancelled() { return japanese() ? "実行を中止しました" : "Execute cancelled"; }

namespace {

// "28 MB/s", "1.2 GB/s", "0.5 MB/s".
std::string rate_text(double bytesPerSecond) {
    const double megabytes = bytesPerSecond / 1e6;
    char text[32];
    if (megabytes >= 1000)
        std::snprintf(text, sizeof text, "%.1f GB/s", megabytes / 1000);
    else
        std::snprintf(text, sizeof text, megabytes >= 10 ? "%.0f MB/s" : "%.1f MB/s", megabytes);
    return text;
}

// "41 秒", "2 分 5 秒"; "41 s", "2 min 5 s".
std::string time_left_text(double seconds) {
    const auto whole = static_cast<long long>(seconds + 0.999);
    const std::string minutes = std::to_string(whole / 60);
    const std::string rest = std::to_string(whole % 60);
    if (japanese()) return whole >= 60 ? minutes + " 分 " + rest + " 秒" : rest + " 秒";
    return whole >= 60 ? minutes + " min " + rest + " s" : rest + " s";
}

}  // namespace

std::string status_text::working(int percent, double bytesPerSecond, double secondsLeft) {
    std::string text = (japanese() ? "実行中 " : "Working ") + std::to_string(percent) + "%";
    if (bytesPerSecond <= 0) return text;
    std::string detail = rate_text(bytesPerSecond);
    if (secondsLeft >= 0)
        detail += japanese() ? "、残り " + time_left_text(secondsLeft) : ", " + time_left_text(secondsLeft) + " left";
    return with_reason(text, detail);
}

std::string status_text::out_of_range() { return japanese() ? "範囲外" : "Out of range"; }

std::string status_text::choose_folder_title() {
    return japanese() ? "作成先を選択してください" : "Choose the folder for the new file";
}
