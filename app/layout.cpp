#include "app/layout.h"

#include <algorithm>
#include <string>

#include "util/version.h"

namespace {

using K = ControlKind;

const LayoutRow kControls[] = {
    {"Edit1", K::Edit, nullptr, {8, 40, 378, 21}, "", 1},
    {"Button3", K::Button, nullptr, {8, 8, 105, 25}, "新規ファイル名生成", 2},
    {"Label3", K::Label, nullptr, {8, 72, 63, 13}, "現在のサイズ", 0},
    {"Label1", K::NumberLabel, nullptr, {88, 72, 97, 13}, "0", 0, true},
    {"Label2", K::Label, nullptr, {8, 104, 53, 13}, "出力サイズ", 0},
    {"Label4", K::NumberLabel, nullptr, {88, 104, 97, 13}, "0", 0, true},
    {"Label5", K::NumberLabel, nullptr, {203, 104, 117, 13}, "0", 0, true},
    {"PageControl1", K::PageControl, nullptr, {8, 136, 257, 89}, "", 3},
    {"TabSheet1", K::TabSheet, "PageControl1", {}, "ユーザー指定", 0},
    {"Edit5", K::Edit, "TabSheet1", {3, 3, 42, 21}, "", 1},
    {"Label6", K::Label, "TabSheet1", {51, 13, 13, 13}, "GB", 0},
    {"Edit6", K::Edit, "TabSheet1", {70, 3, 42, 21}, "", 2},
    {"Label7", K::Label, "TabSheet1", {118, 13, 14, 13}, "MB", 0},
    {"Edit7", K::Edit, "TabSheet1", {138, 3, 41, 21}, "", 3},
    {"Label8", K::Label, "TabSheet1", {185, 13, 12, 13}, "KB", 0},
    {"Edit8", K::Edit, "TabSheet1", {203, 3, 41, 21}, "", 4},
    {"CheckBox1", K::CheckBox, "TabSheet1", {3, 41, 150, 17}, "単位繰り上げを1024にする", 5},
    {"TabSheet2", K::TabSheet, "PageControl1", {}, "末尾ゼロ削除", 0},
    {"Button1", K::Button, "TabSheet2", {0, 3, 73, 25}, "末尾ゼロ検索", 1},
    // The progress bar is in the tab order but takes no focus: Tab passes it by.
    {"ProgressBar1", K::ProgressBar, "TabSheet2", {79, 10, 151, 17}, "", 2},
    {"Label9", K::NumberLabel, "TabSheet2", {8, 40, 121, 13}, "0", 0},
    // The padding byte the scan counts, in the page's free space.
    {"ComboBox1", K::ComboBox, "TabSheet2", {135, 36, 100, 21}, "", 3},
    {"StatusBar1", K::StatusBar, nullptr, {0, 235, 394, 19}, "", 0},
};

const std::string kCaption = std::string("Tavrix v") + kTavrixVersion;

const FormLayout kForm{kCaption.c_str(), 394, 254, "Tahoma", 8, "MainMenu1", "E1", "実行(&E)", "Tavrix"};

}  // namespace

const FormLayout& form_layout() { return kForm; }

std::span<const LayoutRow> control_layout() { return kControls; }

const LayoutRow* find_control(std::string_view name) {
    const auto row = std::find_if(std::begin(kControls), std::end(kControls),
                                  [&](const LayoutRow& layoutRow) { return name == layoutRow.name; });
    return row == std::end(kControls) ? nullptr : &*row;
}
