#include "app/form.h"
#include "app/handlers.h"
#include "app/status_texts.h"
#include "app/view.h"
#include "size/output_size.h"
#include "util/format_grouped.h"

void UpdateOutputSize(View& form) {
    OutputSize = compute_output_size(form.editText(EditId::Edit5), form.editText(EditId::Edit6),
                                     form.editText(EditId::Edit7), form.editText(EditId::Edit8),
                                     form.isCheckBox1Checked());
    // A size from the calculator applies to any file.
    OutputSizeOrigin.reset();
    if (OutputSize) {
        form.setLabelCaption(LabelId::Label4, format_grouped(*OutputSize));
        form.setLabelCaption(LabelId::Label5, format_hex(*OutputSize));
    } else {
        form.setLabelCaption(LabelId::Label4, status_text::out_of_range());
        form.setLabelCaption(LabelId::Label5, status_text::out_of_range());
    }
}
