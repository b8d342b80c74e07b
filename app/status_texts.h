// The window's fixed texts; the path goes where a function takes one.
#pragma once

#include <cstdint>
#include <string>

#include "osd/osd.h"

namespace status_text {

inline std::string cannot_open(const std::string& path) { return path + " を開けません"; }
inline std::string cannot_create(const std::string& path) { return path + " を作成できません"; }
inline std::string created(const std::string& path) { return path + "を作成しました"; }
inline constexpr char kCannotSetEnd[] = "EOFをセットできません";
inline constexpr char kInvalidSize[] = "出力サイズが不正です";
inline constexpr char kFileChangedSinceScan[] = "ファイルが検索時と異なります";
inline constexpr char kNoFileName[] = "ファイル名を指定してください";

// A failure's text with its cause after it, "…（アクセスが拒否されました）";
// the text alone when the cause is unknown.
std::string with_cause(const std::string& text, OsdError cause);
// Execute set a length the file did not keep.
inline constexpr char kLengthNotKept[] = "長さが保たれませんでした";

// Asked before Execute cuts bytes that no scan of this file measured.
std::string confirm_cut(const std::string& path, std::int64_t currentLength, std::int64_t newLength);

// The scan's texts: no blank before the words here.
inline std::string scan_cannot_open(const std::string& path) { return path + "を開けません"; }
inline constexpr char kNoBuffer[] = "バッファを確保できません";
std::string read_error(std::int64_t chunkStart);  // "リードエラー 0x…"

// In Label4 and Label5 when the calculator's total does not fit.
inline constexpr char kOutOfRange[] = "範囲外";

inline constexpr char kChooseFolderTitle[] = "作成先を選択してください";

}  // namespace status_text
