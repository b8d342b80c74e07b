#include "app/win32/native_dialogs.h"

#include <objbase.h>
#include <shlobj.h>

#include <cwchar>
#include <optional>

#include "app/layout.h"
#include "app/win32/text.h"

namespace {

struct ItemIdListDeleter {
    void operator()(PIDLIST_ABSOLUTE items) const { CoTaskMemFree(items); }
};
using ItemIdList = std::unique_ptr<std::remove_pointer_t<PIDLIST_ABSOLUTE>, ItemIdListDeleter>;

// The file-system path of a folder the browser returned; empty if it has none.
std::wstring path_of(PCIDLIST_ABSOLUTE folder) {
    // The path may exceed the classic 260 characters; grow until it fits.
    for (DWORD capacity = 512; capacity <= 32768; capacity *= 2) {
        std::wstring path(capacity, L'\0');
        if (SHGetPathFromIDListEx(folder, path.data(), capacity, GPFIDL_DEFAULT)) {
            path.resize(std::wcslen(path.c_str()));
            return path;
        }
    }
    return {};
}

// A Yes/No message box ignores Esc; while one runs, this filter of its
// modal loop answers No to Esc, as the question promises.
LRESULT CALLBACK esc_means_no(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_DIALOGBOX && message->message == WM_KEYDOWN && message->wParam == VK_ESCAPE) {
        PostMessageW(GetAncestor(message->hwnd, GA_ROOT), WM_COMMAND, IDNO, 0);
        return TRUE;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class NativeDialogs final : public Dialogs {
public:
    explicit NativeDialogs(const HWND& owner) : owner_(owner) {}
    void showMessage(const std::string& text) override {
        MessageBoxW(owner_, widen(text).c_str(), application_title().c_str(), MB_OK);
    }
    bool askYesNo(const std::string& text) override {
        HHOOK filter = SetWindowsHookExW(WH_MSGFILTER, esc_means_no, nullptr, GetCurrentThreadId());
        const int answer = MessageBoxW(owner_, widen(text).c_str(), application_title().c_str(),
                                       MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING);
        if (filter != nullptr) UnhookWindowsHookEx(filter);
        return answer == IDYES;
    }
    std::optional<std::string> chooseFolder(const std::string& title, const std::string& initialFolder) override {
        const std::wstring wideTitle = widen(title);
        // browse_for_folder passes InitialFolder here; the callback selects it.
        const std::wstring start = widen_path(initialFolder);
        BROWSEINFOW browse{};
        browse.hwndOwner = owner_;
        browse.lpszTitle = wideTitle.c_str();
        browse.ulFlags = BIF_RETURNONLYFSDIRS;
        browse.lpfn = browse_callback;
        browse.lParam = reinterpret_cast<LPARAM>(&start);
        const ItemIdList chosen(SHBrowseForFolderW(&browse));
        if (!chosen) return std::nullopt;
        const std::wstring path = path_of(chosen.get());
        if (path.empty()) return std::nullopt;
        return narrow_path(path);
    }

private:
    const HWND& owner_;
};

}  // namespace

std::wstring application_title() { return widen(form_layout().applicationTitle); }

int CALLBACK browse_callback(HWND dialog, UINT event, LPARAM, LPARAM data) {
    if (event == BFFM_INITIALIZED && data != 0) {
        const auto& folder = *reinterpret_cast<const std::wstring*>(data);
        if (!folder.empty())
            SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
    }
    return 0;
}

void show_exception(HWND owner, const std::string& message) {
    MessageBoxW(owner, widen(message).c_str(), application_title().c_str(), MB_OK | MB_ICONERROR);
}

ComApartment::ComApartment()
    : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}

ComApartment::~ComApartment() {
    if (initialised_) CoUninitialize();
}

std::unique_ptr<Dialogs> make_native_dialogs(const HWND& owner) { return std::make_unique<NativeDialogs>(owner); }
