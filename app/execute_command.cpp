#include "app/edit1_path.h"
#include "app/form.h"
#include "app/handlers.h"
#include "app/status_texts.h"
#include "app/view.h"
#include "app/window_busy.h"
#include "size/set_length.h"
#include "size/trim.h"
#include "util/format_grouped.h"

namespace {

// Cuts the scanned file to the size its scan found, through a handle on
// that very file in the state it was measured in; anything else is refused.
void cut_scanned_file(View& form, const std::string& path, const ScannedFile& scanned, std::int64_t target) {
    if (scanned.path != path) {
        form.setStatusText(status_text::file_changed_since_scan());
        return;
    }
    // Refused while another program has the file open or locked; the scan
    // stays, so the same Execute works once it lets go.
    OsdFile file;
    if (osd_open(file, path, OsdAccess::ReadWrite) != 0) {
        form.setStatusText(file.error == OsdError::NotFound
                               ? status_text::file_changed_since_scan()
                               : status_text::with_cause(status_text::cannot_open(path), file.error));
        return;
    }
    MeasuredCut cut;
    {
        // The padding may be tested once more: the window stays alive.
        CommandsDisabled busy(form);
        WindowObserver observer(form);
        cut = cut_measured(file, path, scanned.measured, target, scanned.pad, observer);
        form.setProgress(0);
    }
    switch (cut.status) {
        case MeasuredCut::Status::Ok:
            form.setLabelCaption(LabelId::Label1, format_grouped(target));
            form.setStatusText(status_text::created(path));
            break;
        case MeasuredCut::Status::Changed: form.setStatusText(status_text::file_changed_since_scan()); break;
        case MeasuredCut::Status::InUse:
            form.setStatusText(status_text::with_cause(status_text::cannot_open(path), OsdError::InUse));
            break;
        case MeasuredCut::Status::Stopped:
            if (!form.closeRequested()) form.setStatusText(status_text::execute_cancelled());
            break;
        case MeasuredCut::Status::CannotSetEnd:
            form.setStatusText(status_text::with_cause(status_text::cannot_set_end(), cut.error));
            break;
        case MeasuredCut::Status::LengthNotKept:
            form.setStatusText(status_text::with_reason(status_text::cannot_set_end(), status_text::length_not_kept()));
            break;
    }
}

}  // namespace

void E1Click(View& form) {
    const std::string path = path_from_edit1(form.editText(EditId::Edit1));
    const std::optional<std::int64_t> target = OutputSize;

    if (path.empty()) {
        form.setStatusText(status_text::no_file_name());
        return;
    }
    if (!target || *target < 0) {
        form.setStatusText(status_text::invalid_size());
        return;
    }
    if (OutputSizeOrigin) {
        cut_scanned_file(form, path, *OutputSizeOrigin, *target);
        return;
    }

    // A size typed in knows nothing of the file: bytes it would cut are
    // data as far as anyone knows, so the user says yes first.
    SetLengthOptions options;
    options.confirmCut = [&form, &path](std::int64_t currentLength, std::int64_t newLength) {
        return form.dialogs().askYesNo(status_text::confirm_cut(path, currentLength, newLength));
    };
    using Status = SetLengthResult::Status;
    const SetLengthResult result = set_file_length(path, *target, options);
    switch (result.status) {
        case Status::Ok:
            // The length the handle read back, not the one asked for.
            form.setLabelCaption(LabelId::Label1, format_grouped(result.newSize));
            form.setStatusText(status_text::created(path));
            break;
        case Status::Declined: break;
        case Status::InvalidSize:
        case Status::TooLarge: form.setStatusText(status_text::invalid_size()); break;
        case Status::CannotOpen:
            form.setStatusText(status_text::with_cause(status_text::cannot_open(path), result.error));
            break;
        case Status::CannotCreate:
            form.setStatusText(status_text::with_cause(status_text::cannot_create(path), result.error));
            break;
        case Status::CannotSetEnd:
            form.setStatusText(status_text::with_cause(status_text::cannot_set_end(), result.error));
            break;
        case Status::LengthNotKept:
            form.setStatusText(status_text::with_reason(status_text::cannot_set_end(), status_text::length_not_kept()));
            break;
    }
}
