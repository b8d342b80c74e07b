#include "tests/win32/win32_driver.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>
#include <memory>
#include <utility>

#include "app/form.h"
#include "app/layout.h"
#include "app/win32/text.h"

HGLOBAL drop_of(const std::vector<std::string>& paths) {
    std::wstring list;
    for (const std::string& path : paths) list += widen_path(path) + L'\0';
    list += L'\0';
    const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(header + 1, list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    return memory;
}

std::unique_ptr<WindowDriver> make_window_driver(Language language) {
    return std::make_unique<Win32WindowDriver>(language);
}

namespace {

Win32WindowDriver* watched = nullptr;  // one window under test at a time

}  // namespace

Win32WindowDriver::Win32WindowDriver(Language language) : language_(language) {
    Form1 = &form_;
    watched = this;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, &Win32WindowDriver::watchDestroy, nullptr, GetCurrentThreadId());
    form_.show();
    form_.processPendingEvents();
}

LRESULT CALLBACK Win32WindowDriver::watchDestroy(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && watched != nullptr) {
        const auto& sent = *reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (sent.message == WM_DESTROY && sent.hwnd == watched->form_.handle()) watched->takeLastLook();
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void Win32WindowDriver::takeLastLook() {
    LastLook look;
    for (const LayoutRow& layoutRow : control_layout()) look.texts[layoutRow.name] = text(layoutRow.name);
    look.texts[form_layout().executeItemName] = text(form_layout().executeItemName);
    look.status = statusText();
    look.progress = progress();
    lastLook_ = std::move(look);
}

Win32WindowDriver::~Win32WindowDriver() {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    watched = nullptr;
    Form1 = nullptr;
    // A window closed by a scenario left its quit message for a main loop
    // that is not there.
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

// Characters as the keyboard sends them, over the whole text selected: a
// field that takes no typing refuses them itself.
void Win32WindowDriver::type(const std::string& control, const std::string& utf8) {
    const HWND edit = form_.control(control);
    if (edit == nullptr || !IsWindowEnabled(edit)) return;
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    if (utf8.empty()) {
        SendMessageW(edit, WM_CHAR, VK_BACK, 1);
        return;
    }
    for (const wchar_t unit : widen(utf8)) SendMessageW(edit, WM_CHAR, unit, 1);
}

// A mouse click never reaches a disabled button.
void Win32WindowDriver::click(const std::string& control) {
    const HWND button = form_.control(control);
    if (button == nullptr || !IsWindowEnabled(button)) return;
    SendMessageW(button, BM_CLICK, 0, 0);
}

// The menu bar's command, as its click sends it; the window itself ignores
// it while the item is greyed.
void Win32WindowDriver::execute() {
    if (form_.handle() == nullptr) return;
    SendMessageW(form_.handle(), WM_COMMAND, MAKEWPARAM(TForm1::E1, 0), 0);
}

void Win32WindowDriver::selectPage(int index) {
    const HWND pages = form_.control("PageControl1");
    RECT tab{};
    TabCtrl_GetItemRect(pages, index, &tab);
    const LPARAM centre = MAKELPARAM((tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
    SendMessageW(pages, WM_LBUTTONDOWN, MK_LBUTTON, centre);
    SendMessageW(pages, WM_LBUTTONUP, 0, centre);
    form_.processPendingEvents();
}

// The shell drops only on a window that accepts files.
bool Win32WindowDriver::drop(const std::vector<std::string>& paths) {
    const HWND window = form_.handle();
    if (window == nullptr || !(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES)) return false;
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop_of(paths)), 0);
    return true;
}

void Win32WindowDriver::requestClose() {
    if (form_.handle() != nullptr) PostMessageW(form_.handle(), WM_CLOSE, 0, 0);
}

void Win32WindowDriver::choose(const std::string& control, int index) {
    const HWND choices = form_.control(control);
    SendMessageW(choices, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(GetParent(choices), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(choices), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(choices));
    form_.processPendingEvents();
}

void Win32WindowDriver::pressEscape() {
    const HWND focus = GetFocus();
    const HWND target = focus != nullptr && IsChild(form_.handle(), focus) ? focus : form_.handle();
    if (target != nullptr) PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 1);
}

void Win32WindowDriver::pump() { form_.processPendingEvents(); }

std::string Win32WindowDriver::text(const std::string& control) {
    if (form_.handle() == nullptr && lastLook_) {
        const auto found = lastLook_->texts.find(control);
        return found != lastLook_->texts.end() ? found->second : std::string();
    }
    if (control == form_layout().executeItemName) {
        std::wstring caption(64, L'\0');
        caption.resize(static_cast<std::size_t>(
            GetMenuStringW(form_.menu(), TForm1::E1, caption.data(), static_cast<int>(caption.size()), MF_BYCOMMAND)));
        return narrow(caption);
    }
    if (control == "StatusBar1") return statusText();
    return narrow(window_text(form_.control(control)));
}

std::string Win32WindowDriver::statusText() {
    if (form_.handle() == nullptr && lastLook_) return lastLook_->status;
    const HWND status = form_.control("StatusBar1");
    if (status == nullptr) return {};
    const auto length = LOWORD(SendMessageW(status, SB_GETTEXTLENGTHW, 0, 0));
    std::wstring text(length + 1u, L'\0');
    SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    return narrow(text);
}

int Win32WindowDriver::progress() {
    if (form_.handle() == nullptr && lastLook_) return lastLook_->progress;
    const HWND bar = form_.control("ProgressBar1");
    return bar != nullptr ? static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)) : -1;
}

bool Win32WindowDriver::isEnabled(const std::string& control) {
    if (control == form_layout().executeItemName) {
        const UINT state = GetMenuState(form_.menu(), TForm1::E1, MF_BYCOMMAND);
        return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
    }
    const HWND found = form_.control(control);
    return found != nullptr && IsWindowEnabled(found);
}

bool Win32WindowDriver::isEditable(const std::string& control) {
    const HWND edit = form_.control(control);
    return edit != nullptr && IsWindowEnabled(edit) && !(GetWindowLongPtrW(edit, GWL_STYLE) & ES_READONLY);
}

Bounds Win32WindowDriver::bounds(const std::string& control) {
    const HWND found = form_.control(control);
    if (found == nullptr) return {};
    RECT box;
    GetWindowRect(found, &box);
    MapWindowPoints(nullptr, GetParent(found), reinterpret_cast<POINT*>(&box), 2);
    return {box.left, box.top, box.right - box.left, box.bottom - box.top};
}

std::string Win32WindowDriver::parentName(const std::string& control) {
    const HWND found = form_.control(control);
    if (found == nullptr) return {};
    const HWND parent = GetParent(found);
    for (const LayoutRow& layoutRow : control_layout()) {
        if (form_.control(layoutRow.name) == parent) return layoutRow.name;
    }
    return {};
}

// Measured in the label's own font against its client area, which must lie
// inside its parent's.
bool Win32WindowDriver::showsWholeText(const std::string& label) {
    const HWND found = form_.control(label);
    if (found == nullptr) return false;
    const std::wstring text = window_text(found);
    const HDC dc = GetDC(found);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(found, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(found, dc);
    RECT client;
    GetClientRect(found, &client);
    RECT parent;
    GetClientRect(GetParent(found), &parent);
    const Bounds box = bounds(label);
    const bool insideParent = box.left >= 0 && box.top >= 0 && box.left + box.width <= parent.right &&
                              box.top + box.height <= parent.bottom;
    return extent.cx <= client.right && extent.cy <= client.bottom && insideParent;
}
