#include "app/handlers.h"
#include "app/view.h"
#include "osd/osd.h"
#include "util/format_grouped.h"

void WMDropFiles(View& form, const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    const std::string& path = paths.front();
    form.setEdit1Text(path);
    form.setLabelCaption(LabelId::Label1, format_grouped(osd_filesize(path)));
}
