#include "app/edit1_path.h"
#include "app/form.h"
#include "app/handlers.h"
#include "app/status_texts.h"
#include "app/view.h"
#include "app/window_busy.h"
#include "size/output_size.h"
#include "size/trim.h"
#include "util/format_grouped.h"


PaddingScan count_trailing_zeros(View& form, const std::string& path) {
    WindowObserver observer(form);
    PadChoice choice;
    switch (form.padChoiceIndex()) {
        case 1: choice.bytes = 0xFF; break;
        case 2: choice.automatic = true; break;
        default: break;
    }
    const PaddingScan padding = scan_padding(path, choice, observer);
    const ScanResult& result = padding.scan;
    switch (result.status) {
        case ScanResult::Status::CannotOpen:
            form.setStatusText(status_text::with_cause(status_text::scan_cannot_open(path), result.error));
            break;
        case ScanResult::Status::NoBuffer: form.setStatusText(status_text::no_buffer()); break;
        case ScanResult::Status::ReadError:
            form.setStatusText(status_text::with_cause(status_text::read_error(result.failedAt), result.error));
            break;
        case ScanResult::Status::Ok:
            // An old failure message must not stand next to fresh results.
            form.setStatusText("");
            break;
        case ScanResult::Status::Stopped:
            if (!form.closeRequested()) form.setStatusText(status_text::scan_cancelled());
            break;
    }
    return padding;
}

void Button1Click(View& form) {
    const std::string path = path_from_edit1(form.editText(EditId::Edit1));
    if (path.empty()) {
        form.setStatusText(status_text::no_file_name());
        return;
    }
    PaddingScan padding;
    {
        CommandsDisabled guard(form);
        padding = count_trailing_zeros(form, path);
    }
    const ScanResult& result = padding.scan;
    form.setProgress(0);
    // The next key goes where the scan was started, not into a field.
    if (!form.closeRequested()) form.focusScanButton();
    if (!result.ok()) {
        // Whatever size stood before belongs to another file or state; the
        // next Execute must not apply it here.
        OutputSize.reset();
        OutputSizeOrigin.reset();
        form.setLabelCaption(LabelId::Label4, "");
        form.setLabelCaption(LabelId::Label9, "");
        return;
    }
    OutputSize = result.size - result.trailing;
    OutputSizeOrigin = ScannedFile{path, padding.pad.value_or(0), padding.measured};
    // Every number on the window now describes the file as scanned.
    form.setLabelCaption(LabelId::Label1, format_grouped(result.size));
    form.setLabelCaption(LabelId::Label4, format_grouped(*OutputSize));
    form.setLabelCaption(LabelId::Label5, format_hex(*OutputSize));
    form.setLabelCaption(LabelId::Label9, format_grouped(result.trailing));
}
