#include "app/background_change.h"
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

using Step = Failure::Step;

// Cuts the scanned file to the size its scan found, through a handle on
// that very file in the state it was measured in; anything else is refused.
// Refused while another program has the file open or locked; the scan
// stays, so the same Execute works once it lets go.
Change cut_scanned_file(View& form, const std::string& path, const ScannedFile& scanned, std::int64_t target) {
    Change change;
    change.newSize = target;
    OsdFile file;
    OsdError cause = OsdError::None;
    if (scanned.path != path) {
        change.failure = failed_at(Step::Changed);
    } else if (osd_open(file, path, OsdAccess::ReadWrite, &cause) != 0) {
        // A file gone since its scan is a changed file.
        change.failure = cause == OsdError::NotFound ? failed_at(Step::Changed) : open_failure(cause);
    } else {
        // The padding may be tested once more: the window stays alive.
        CommandsDisabled busy(form);
        WindowObserver observer(form);
        change.failure = cut_measured(file, path, scanned.measured, target, scanned.pad, observer);
        form.setProgress(0);
    }
    return change;
}

// A size typed in knows nothing of the file: bytes it would cut are data as
// far as anyone knows, so the user says yes first. A growth runs beside the
// window: where the file system writes every zero, it takes as long as
// writing them.
Change set_typed_size(View& form, const std::string& path, std::int64_t target) {
    SetLengthOptions options;
    options.confirmCut = [&form, &path](std::int64_t currentLength, std::int64_t newLength) {
        return form.dialogs().askYesNo(status_text::confirm_cut(path, currentLength, newLength));
    };
    OsdFile file;
    const LengthPlan plan = plan_length(file, path, fixed_length(target), options);
    if (!plan.change.ok()) return plan.change;
    auto moveEnd = [&](ScanObserver& progress) { return move_end(file, plan.target, plan.current, &progress); };
    SilentObserver now;
    const std::optional<Failure> failure = plan.target > plan.current ? run_beside_window(form, moveEnd) : moveEnd(now);
    if (failure) return abandon_length(file, plan, *failure);
    return finish_length(file, plan, options);
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
    const Change change = OutputSizeOrigin ? cut_scanned_file(form, path, *OutputSizeOrigin, *target)
                                           : set_typed_size(form, path, *target);
    if (change.ok()) {
        // The length the handle read back, not the one asked for.
        form.setLabelCaption(LabelId::Label1, format_grouped(change.newSize));
        form.setStatusText(status_text::created(path));
        return;
    }
    const Failure& failure = *change.failure;
    // Declined: the question was the answer. Closed: no one reads it.
    if (failure.step == Step::Declined || (failure.step == Step::Stopped && form.closeRequested())) return;
    form.setStatusText(status_text::failure(failure, path));
}
