#include "app/edit1_path.h"
#include "app/form.h"
#include "app/handlers.h"
#include "app/status_texts.h"
#include "app/view.h"
#include "size/set_length.h"

void E1Click(View& form) {
    const std::string path = path_from_edit1(form.editText(EditId::Edit1));
    const std::optional<std::int64_t> target = OutputSize;

    if (path.empty()) {
        form.setStatusText(status_text::kNoFileName);
        return;
    }
    if (!target || *target < 0) {
        form.setStatusText(status_text::kInvalidSize);
        return;
    }

    // A size found by a scan belongs to the file it measured, as it was then.
    SetLengthOptions options;
    if (OutputSizeOrigin) {
        if (OutputSizeOrigin->path != path) {
            form.setStatusText(status_text::kFileChangedSinceScan);
            return;
        }
        options.allowCreate = false;
        options.expectedSize = OutputSizeOrigin->size;
    }

    using Status = SetLengthResult::Status;
    const SetLengthResult result = set_file_length(path, *target, options);
    switch (result.status) {
        case Status::Ok: form.setStatusText(status_text::created(path)); break;
        case Status::InvalidSize: form.setStatusText(status_text::kInvalidSize); break;
        case Status::CannotCreate: form.setStatusText(status_text::cannot_create(path)); break;
        case Status::CannotSetEnd: form.setStatusText(status_text::kCannotSetEnd); break;
        case Status::SizeChanged: form.setStatusText(status_text::kFileChangedSinceScan); break;
        case Status::CannotOpen:
            form.setStatusText(OutputSizeOrigin && result.error == OsdError::NotFound
                                   ? std::string(status_text::kFileChangedSinceScan)
                                   : status_text::cannot_open(path));
            break;
    }
}
