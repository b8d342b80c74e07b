#include "size/execute.h"

#include "app/view.h"
#include "osd/osd.h"
#include "size/output_size.h"

namespace {

// Opens the file for reading and writing, or creates it. Never truncates: a
// file that appears between the existence test and the create is opened
// instead, so its bytes are kept. Returns the failure text, or "" when open.
std::string open_or_create(OsdFile& file, const std::string& path) {
    if (!osd_exists(path)) {
        if (osd_create(file, path) == 0) return {};
        if (!osd_exists(path)) return path + " を作成できせん";
    }
    if (osd_open(file, path, OsdAccess::ReadWrite) == 0) return {};
    return path + " を開けません";
}

}  // namespace

void E1Click(View& form) {
    const std::string path = form.editText(EditId::Edit1);
    const std::optional<std::int64_t> target = OutputSize;

    // A negative or overflowing size must never reach the file: a failed seek
    // would leave the pointer at 0 and empty it.
    if (!target || *target < 0) {
        form.setStatusText("出力サイズが不正です");
        return;
    }

    OsdFile file;
    if (std::string failure = open_or_create(file, path); !failure.empty()) {
        form.setStatusText(failure);
        return;
    }

    std::string message = path + "を作成しました";
    if (osd_seek(file, *target, OsdOrigin::Begin) != *target || osd_seteof(file) != 0)
        message = "EOFをセットできません";
    osd_close(file);
    form.setStatusText(message);
}
