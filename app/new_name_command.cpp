#include "app/form.h"
#include "app/handlers.h"
#include "app/status_texts.h"
#include "app/view.h"
#include "util/timestamp.h"

bool browse_for_folder(View& owner, std::string& folder, const std::string& title) {
    InitialFolder = folder;
    std::optional<std::string> chosen = owner.dialogs().chooseFolder(title, InitialFolder);
    if (!chosen) return false;
    folder = *chosen;
    return true;
}

void Button3Click(View& form, const std::tm& now) {
    std::string folder;
    if (!browse_for_folder(form, folder, status_text::choose_folder_title())) return;
    form.dialogs().showMessage(folder);
    form.setEdit1Text(timestamped_path(folder, now));
}

void Button3Click(View& form) { Button3Click(form, local_now()); }
