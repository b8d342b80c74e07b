#include "app/win32/main_window.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <exception>
#include <stdexcept>
#include <utility>

#include "app/handlers.h"
#include "app/win32/text.h"

namespace {

constexpr wchar_t kFormClass[] = L"TavrixForm";
constexpr wchar_t kTabSheetClass[] = L"TavrixTabSheet";
constexpr int kClientWidth = 394;
constexpr int kClientHeight = 254;
constexpr int kStatusBarHeight = 19;
// Window style: a sizeable border, a system menu and a minimise button, but
// no maximise button.
constexpr DWORD kFormStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_CLIPCHILDREN;

HINSTANCE module_instance() { return GetModuleHandleW(nullptr); }

// A device context borrowed from a window (null: the screen), with a font
// selected into it for measuring; both are given back on destruction.
class MeasuringDc {
public:
    MeasuringDc(HWND window, HFONT font) : window_(window), dc_(GetDC(window)) {
        if (dc_ != nullptr && font != nullptr) oldFont_ = SelectObject(dc_, font);
    }
    ~MeasuringDc() {
        if (dc_ == nullptr) return;
        if (oldFont_ != nullptr) SelectObject(dc_, oldFont_);
        ReleaseDC(window_, dc_);
    }
    MeasuringDc(const MeasuringDc&) = delete;
    MeasuringDc& operator=(const MeasuringDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ oldFont_ = nullptr;
};

struct DropDeleter {
    void operator()(HDROP drop) const { DragFinish(drop); }
};
using DropHandle = std::unique_ptr<std::remove_pointer_t<HDROP>, DropDeleter>;

struct ItemIdListDeleter {
    void operator()(PIDLIST_ABSOLUTE items) const { CoTaskMemFree(items); }
};
using ItemIdList = std::unique_ptr<std::remove_pointer_t<PIDLIST_ABSOLUTE>, ItemIdListDeleter>;

// The controls of a page report to the page, which is a child of the tab
// control; the window serves them as its own.
LRESULT CALLBACK tab_sheet_procedure(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
            return SendMessageW(GetAncestor(page, GA_ROOT), message, wParam, lParam);
        default:
            return DefWindowProcW(page, message, wParam, lParam);
    }
}

void register_classes(WNDPROC formProcedure) {
    static const bool registered = [formProcedure] {
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof controls;
        controls.dwICC = ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS;
        InitCommonControlsEx(&controls);

        WNDCLASSEXW form{};
        form.cbSize = sizeof form;
        form.lpfnWndProc = formProcedure;
        form.hInstance = module_instance();
        form.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        form.lpszClassName = kFormClass;

        WNDCLASSEXW page = form;
        page.lpfnWndProc = tab_sheet_procedure;
        page.hIcon = nullptr;
        page.lpszClassName = kTabSheetClass;

        if (RegisterClassExW(&form) == 0 || RegisterClassExW(&page) == 0)
            throw std::runtime_error("ウィンドウクラスを登録できません");
        return true;
    }();
    (void)registered;
}

// The system colour behind the size values: the caption-text colour, which
// is white on a classic desktop and sets the values off from the window.
// Newer desktops made it black, where the highlight-text colour (white
// there) stands in, so the digits stay readable.
int number_background() {
    const COLORREF caption = GetSysColor(COLOR_CAPTIONTEXT);
    const int lightness = (GetRValue(caption) * 299 + GetGValue(caption) * 587 + GetBValue(caption) * 114) / 1000;
    return lightness >= 128 ? COLOR_CAPTIONTEXT : COLOR_HIGHLIGHTTEXT;
}

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

}  // namespace

int CALLBACK browse_callback(HWND dialog, UINT event, LPARAM, LPARAM data) {
    if (event == BFFM_INITIALIZED && data != 0) {
        const auto& folder = *reinterpret_cast<const std::wstring*>(data);
        if (!folder.empty())
            SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
    }
    return 0;
}

void show_exception(HWND owner, const std::string& message) {
    MessageBoxW(owner, widen(message).c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
}

ComApartment::ComApartment()
    : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}

ComApartment::~ComApartment() {
    if (initialised_) CoUninitialize();
}

namespace {

// The real modal dialogs, owned by the window.
class NativeDialogs final : public Dialogs {
public:
    explicit NativeDialogs(const HWND& owner) : owner_(owner) {}
    void showMessage(const std::string& text) override {
        MessageBoxW(owner_, widen(text).c_str(), kApplicationTitle, MB_OK);
    }
    std::optional<std::string> chooseFolder(const std::string& title, const std::string& initialFolder) override {
        const std::wstring wideTitle = widen(title);
        // browse_for_folder passes InitialFolder here; the callback selects it.
        const std::wstring start = widen(initialFolder);
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
    const HWND& owner_;  // the window's handle, which changes when it is destroyed
};

}  // namespace

// ---------------------------------------------------------------- creation

TForm1::TForm1() : nativeDialogs_(std::make_unique<NativeDialogs>(hwnd_)), dialogs_(nativeDialogs_.get()) {
    register_classes(&TForm1::windowProcedure);

    menu_ = CreateMenu();
    if (menu_ == nullptr || !AppendMenuW(menu_, MF_STRING, E1, L"実行(&E)")) {
        if (menu_ != nullptr) DestroyMenu(menu_);
        throw std::runtime_error("メニューを作成できません");
    }

    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, kFormStyle, TRUE, 0);
    // The window procedure records the handle in hwnd_ on its first message.
    if (CreateWindowExW(0, kFormClass, L"Tavrix v0.11", kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        frame.right - frame.left, frame.bottom - frame.top, nullptr, menu_,
                        module_instance(), this) == nullptr) {
        // A window that got as far as being destroyed took its menu along.
        if (IsMenu(menu_)) DestroyMenu(menu_);
        throw std::runtime_error("ウィンドウを作成できません");
    }

    try {
        const MeasuringDc screen(nullptr, nullptr);
        const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
        font_.reset(CreateFontW(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
        createControls();
        // The menu bar's height is only known for sure once it exists.
        setClientSize(kClientWidth, kClientHeight);
        centreOnDesktop();
        FormCreate();
    } catch (...) {
        destroyedByOwner_ = true;
        DestroyWindow(hwnd_);
        throw;
    }
}

TForm1::~TForm1() {
    if (hwnd_ == nullptr) return;
    // Not a close by the user: the message loop has ended already, or never
    // ran (tests), so no quit message is wanted.
    destroyedByOwner_ = true;
    DestroyWindow(hwnd_);
}

HWND TForm1::createControl(ControlId id, HWND parent, const wchar_t* windowClass,
                           const wchar_t* caption, DWORD style, const Bounds& bounds,
                           DWORD extendedStyle) {
    HWND child = CreateWindowExW(extendedStyle, windowClass, caption, WS_CHILD | WS_VISIBLE | style,
                                 bounds.left, bounds.top, bounds.width, bounds.height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module_instance(),
                                 nullptr);
    if (child == nullptr) throw std::runtime_error("コントロールを作成できません");
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    controls_[static_cast<std::size_t>(id - Edit1)] = child;
    return child;
}

// Created in tab order: the keyboard walks the tab stops in creation order.
void TForm1::createControls() {
    constexpr DWORD edit = WS_TABSTOP | ES_AUTOHSCROLL;
    constexpr DWORD caption = SS_LEFT | SS_NOPREFIX;
    // Numbers right-aligned so their digits line up.
    constexpr DWORD number = SS_RIGHT | SS_NOPREFIX;
    const HWND form = hwnd_;

    createControl(Edit1, form, WC_EDITW, L"", edit, {8, 40, 378, 21}, WS_EX_CLIENTEDGE);
    createControl(Button3, form, WC_BUTTONW, L"新規ファイル名生成", WS_TABSTOP | BS_PUSHBUTTON, {8, 8, 105, 25});
    createControl(Label3, form, WC_STATICW, L"現在のサイズ", caption, {8, 72, 63, 13});
    createControl(Label1, form, WC_STATICW, L"0", number, {88, 72, 97, 13});
    createControl(Label2, form, WC_STATICW, L"出力サイズ", caption, {8, 104, 53, 13});
    createControl(Label4, form, WC_STATICW, L"0", number, {88, 104, 97, 13});
    createControl(Label5, form, WC_STATICW, L"0", number, {203, 104, 117, 13});

    const HWND pages = createControl(PageControl1, form, WC_TABCONTROLW, L"",
                                     WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, {8, 136, 257, 89});
    const wchar_t* const pageCaptions[] = {L"ユーザー指定", L"末尾ゼロ削除"};
    for (int index = 0; index < 2; ++index) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(pageCaptions[index]);
        if (TabCtrl_InsertItem(pages, index, &item) != index)
            throw std::runtime_error("タブを作成できません");
    }
    // The pages fill the tab control's display area, which depends on the
    // font of the tabs: set above.
    RECT display;
    GetClientRect(pages, &display);
    TabCtrl_AdjustRect(pages, FALSE, &display);
    const Bounds page{display.left, display.top, display.right - display.left, display.bottom - display.top};

    const HWND sheet1 = createControl(TabSheet1, pages, kTabSheetClass, pageCaptions[0], WS_CLIPSIBLINGS,
                                      page, WS_EX_CONTROLPARENT);
    createControl(Edit5, sheet1, WC_EDITW, L"", edit, {3, 3, 42, 21}, WS_EX_CLIENTEDGE);
    createControl(Label6, sheet1, WC_STATICW, L"GB", caption, {51, 13, 13, 13});
    createControl(Edit6, sheet1, WC_EDITW, L"", edit, {70, 3, 42, 21}, WS_EX_CLIENTEDGE);
    createControl(Label7, sheet1, WC_STATICW, L"MB", caption, {118, 13, 14, 13});
    createControl(Edit7, sheet1, WC_EDITW, L"", edit, {138, 3, 41, 21}, WS_EX_CLIENTEDGE);
    createControl(Label8, sheet1, WC_STATICW, L"KB", caption, {185, 13, 12, 13});
    createControl(Edit8, sheet1, WC_EDITW, L"", edit, {203, 3, 41, 21}, WS_EX_CLIENTEDGE);
    createControl(CheckBox1, sheet1, WC_BUTTONW, L"単位繰り上げを1024にする", WS_TABSTOP | BS_AUTOCHECKBOX,
                  {3, 41, 150, 17});

    const HWND sheet2 = createControl(TabSheet2, pages, kTabSheetClass, pageCaptions[1], WS_CLIPSIBLINGS,
                                      page, WS_EX_CONTROLPARENT);
    createControl(Button1, sheet2, WC_BUTTONW, L"末尾ゼロ検索", WS_TABSTOP | BS_PUSHBUTTON, {0, 3, 73, 25});
    // No tab stop: a progress bar takes no keyboard focus.
    const HWND progress = createControl(ProgressBar1, sheet2, PROGRESS_CLASSW, L"", 0, {79, 10, 151, 17});
    SendMessageW(progress, PBM_SETRANGE32, 0, 100);
    SendMessageW(progress, PBM_SETSTEP, 1, 0);
    SendMessageW(progress, PBM_SETPOS, 0, 0);
    createControl(Label9, sheet2, WC_STATICW, L"0", number, {8, 40, 121, 13});

    // Left to itself the status bar takes a height from its font (25 pixels
    // with some CJK fonts); the window places it instead, see placeStatusBar.
    createControl(StatusBar1, form, STATUSCLASSNAMEW, L"", SBARS_SIZEGRIP | CCS_NORESIZE | CCS_NOPARENTALIGN,
                  {0, kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight});

    for (ControlId captioned : {Label3, Label2, Label6, Label7, Label8, CheckBox1}) widenToFitCaption(captioned);
}

// A caption keeps its position but widens when the font is wider than the
// one the layout was drawn with, so "GB" never shows as a cut "G".
void TForm1::widenToFitCaption(ControlId id) {
    const HWND child = control(id);
    int needed = 0;
    SIZE ideal{};
    if (id == CheckBox1 && SendMessageW(child, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal))) {
        needed = ideal.cx;
    } else {
        const std::wstring text = window_text(child);
        const MeasuringDc dc(child, font_.get());
        SIZE extent{};
        if (!GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent)) return;
        needed = extent.cx;
    }
    RECT bounds;
    GetWindowRect(child, &bounds);
    const int width = bounds.right - bounds.left;
    if (needed > width) {
        SetWindowPos(child, nullptr, 0, 0, needed, bounds.bottom - bounds.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// The other controls keep their places; the status bar stays along the
// bottom edge at full width.
void TForm1::placeStatusBar(int clientWidth, int clientHeight) {
    const HWND status = control(StatusBar1);
    if (status == nullptr) return;
    SetWindowPos(status, nullptr, 0, clientHeight - kStatusBarHeight, clientWidth, kStatusBarHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm1::setClientSize(int width, int height) {
    RECT client;
    RECT window;
    GetClientRect(hwnd_, &client);
    GetWindowRect(hwnd_, &window);
    const int extraWidth = width - (client.right - client.left);
    const int extraHeight = height - (client.bottom - client.top);
    if (extraWidth == 0 && extraHeight == 0) return;
    SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left + extraWidth,
                 window.bottom - window.top + extraHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The whole window, frame included, in the middle of the primary monitor's
// work area.
void TForm1::centreOnDesktop() {
    RECT work;
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    RECT window;
    GetWindowRect(hwnd_, &window);
    const int x = work.left + ((work.right - work.left) - (window.right - window.left)) / 2;
    const int y = work.top + ((work.bottom - work.top) - (window.bottom - window.top)) / 2;
    SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm1::FormCreate() {
    DragAcceptFiles(hwnd_, TRUE);
    // Whichever page was last shown, the window opens on the calculator.
    TabCtrl_SetCurSel(control(PageControl1), 0);
    showPage(0);
}

void TForm1::showPage(int index) {
    ShowWindow(control(TabSheet1), index == 0 ? SW_SHOW : SW_HIDE);
    ShowWindow(control(TabSheet2), index == 1 ? SW_SHOW : SW_HIDE);
}

void TForm1::show(int showCommand) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
}

HWND TForm1::control(ControlId id) const {
    const int index = id - Edit1;
    if (index < 0 || index >= static_cast<int>(controls_.size())) return nullptr;
    return controls_[static_cast<std::size_t>(index)];
}

// ---------------------------------------------------------------- messages

LRESULT CALLBACK TForm1::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->hwnd_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // From here on every View operation is a harmless no-op.
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        form->hwnd_ = nullptr;
        form->menu_ = nullptr;
        form->controls_.fill(nullptr);
        form->lastFocus_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return form->handleMessage(message, wParam, lParam);
}

LRESULT TForm1::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->hwndFrom == control(PageControl1) && header->code == TCN_SELCHANGE)
                showPage(TabCtrl_GetCurSel(header->hwndFrom));
            return 0;
        }
        case WM_DROPFILES:
            onDropFiles(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_CTLCOLORSTATIC:
            return onControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_SIZE:
            placeStatusBar(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_ACTIVATE:
            // Remember the focused control, as a dialog does, so coming back
            // to the window puts the caret where it was.
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                if (focus != nullptr && IsChild(hwnd_, focus)) lastFocus_ = focus;
            }
            break;
        case WM_SETFOCUS: {
            HWND target = lastFocus_;
            if (target == nullptr || !IsWindowVisible(target) || !IsWindowEnabled(target))
                target = control(Edit1);
            SetFocus(target);
            return 0;
        }
        case WM_CLOSE:
            onClose();
            return 0;
        case WM_DESTROY:
            if (!destroyedByOwner_) PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

template <class Handler>
void TForm1::runHandler(Handler&& handler) {
    ++handlerDepth_;
    // An exception must not unwind through the system's message dispatch:
    // it is shown here and the window carries on.
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& error) {
        show_exception(hwnd_, error.what());
    } catch (...) {
        show_exception(hwnd_, std::string());
    }
    if (--handlerDepth_ == 0 && destroyWhenIdle_ && hwnd_ != nullptr) {
        destroyWhenIdle_ = false;
        DestroyWindow(hwnd_);
    }
}

void TForm1::onCommand(int id, int notification) {
    switch (id) {
        case Edit5:
        case Edit6:
        case Edit7:
        case Edit8:
            if (notification == EN_CHANGE) runHandler([this] { UpdateOutputSize(*this); });
            break;
        case CheckBox1:
            if (notification == BN_CLICKED) runHandler([this] { UpdateOutputSize(*this); });
            break;
        case Button1:
            if (notification == BN_CLICKED) runHandler([this] { Button1Click(*this); });
            break;
        case Button3:
            if (notification == BN_CLICKED) runHandler([this] { Button3Click(*this); });
            break;
        case E1:
            // A command queued before a scan greyed the item is dropped.
            if (notification == 0 && !(GetMenuState(menu_, E1, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)))
                runHandler([this] { E1Click(*this); });
            break;
        default:
            break;
    }
}

void TForm1::onDropFiles(HDROP drop) {
    // Released however the handler ends.
    const DropHandle owned(drop);
    runHandler([this, drop] {
        std::vector<std::string> paths;
        const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
        if (length > 0) {
            std::wstring path(static_cast<std::size_t>(length) + 1, L'\0');
            const UINT copied = DragQueryFileW(drop, 0, path.data(), length + 1);
            path.resize(copied);
            paths.push_back(narrow_path(path));
        }
        WMDropFiles(*this, paths);
    });
}

LRESULT TForm1::onControlColour(HDC dc, HWND label) {
    if (label != nullptr && (label == control(Label1) || label == control(Label4) || label == control(Label5))) {
        const int background = number_background();
        SetBkColor(dc, GetSysColor(background));
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
    }
    return DefWindowProcW(hwnd_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
}

// A scan pumps events between its chunks and still writes to the window
// after a close arrives, so while a handler runs the window only hides; it
// is destroyed when the outermost handler returns.
void TForm1::onClose() {
    closeRequested_ = true;
    if (handlerDepth_ > 0) {
        ShowWindow(hwnd_, SW_HIDE);
        destroyWhenIdle_ = true;
        return;
    }
    DestroyWindow(hwnd_);
}

// ---------------------------------------------------------------- keyboard

void TForm1::dispatchMessage(MSG& message) {
    if (hwnd_ != nullptr && (moveFocusByTab(message) || IsDialogMessageW(hwnd_, &message))) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

// Dialog navigation never stops on a window that holds tab stops of its own,
// yet the tab control is a stop and its pages hold more; so Tab walks the
// list here: the stops in creation order, the hidden page's left out.
std::vector<HWND> TForm1::tabStops() const {
    std::vector<HWND> stops;
    for (HWND child : controls_) {
        if (child != nullptr && (GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP) && IsWindowVisible(child) &&
            IsWindowEnabled(child)) {
            stops.push_back(child);
        }
    }
    return stops;
}

bool TForm1::moveFocusByTab(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != VK_TAB) return false;
    if (message.hwnd != hwnd_ && !IsChild(hwnd_, message.hwnd)) return false;
    const std::vector<HWND> stops = tabStops();
    if (stops.empty()) return true;

    const bool backward = GetKeyState(VK_SHIFT) < 0;
    // The stop that holds the focus: the focused window or its nearest
    // ancestor in the list (the tab control holds the page controls too).
    auto current = stops.end();
    for (HWND window = GetFocus(); window != nullptr && window != hwnd_ && current == stops.end();
         window = GetParent(window)) {
        current = std::find(stops.begin(), stops.end(), window);
    }
    const std::size_t count = stops.size();
    std::size_t next = backward ? count - 1 : 0;
    if (current != stops.end()) {
        const auto index = static_cast<std::size_t>(current - stops.begin());
        next = backward ? (index + count - 1) % count : (index + 1) % count;
    }
    const HWND target = stops[next];
    // As in a dialog, an edit field entered by Tab has all its text selected.
    if (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(target, EM_SETSEL, 0, -1);
    SetFocus(target);
    return true;
}

// ---------------------------------------------------------------- View

namespace {

TForm1::ControlId edit_control(EditId id) {
    switch (id) {
        case EditId::Edit1: return TForm1::Edit1;
        case EditId::Edit5: return TForm1::Edit5;
        case EditId::Edit6: return TForm1::Edit6;
        case EditId::Edit7: return TForm1::Edit7;
        case EditId::Edit8: return TForm1::Edit8;
    }
    return TForm1::Edit1;
}

TForm1::ControlId label_control(LabelId id) {
    switch (id) {
        case LabelId::Label1: return TForm1::Label1;
        case LabelId::Label4: return TForm1::Label4;
        case LabelId::Label5: return TForm1::Label5;
        case LabelId::Label9: return TForm1::Label9;
    }
    return TForm1::Label1;
}

}  // namespace

std::string TForm1::editText(EditId edit) const {
    return narrow(window_text(control(edit_control(edit))));
}

void TForm1::setEdit1Text(const std::string& text) {
    SetWindowTextW(control(Edit1), widen(text).c_str());
}

void TForm1::setLabelCaption(LabelId label, const std::string& caption) {
    SetWindowTextW(control(label_control(label)), widen(caption).c_str());
}

bool TForm1::isCheckBox1Checked() const {
    return SendMessageW(control(CheckBox1), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TForm1::setProgress(int position) {
    SendMessageW(control(ProgressBar1), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void TForm1::setStatusText(const std::string& text) {
    SendMessageW(control(StatusBar1), SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(widen(text).c_str()));
}

void TForm1::processPendingEvents() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Not ours to act on: the main loop ends the process on it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        dispatchMessage(message);
    }
}

bool TForm1::closeRequested() const {
    return closeRequested_;
}

void TForm1::setCommandsEnabled(bool enabled) {
    const HWND button = control(Button1);
    EnableWindow(button, enabled);
    if (menu_ != nullptr) EnableMenuItem(menu_, E1, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    if (hwnd_ != nullptr) DrawMenuBar(hwnd_);
    // Disabling the focused button left the keyboard nowhere; give it back.
    if (enabled && button != nullptr && GetFocus() == nullptr && GetActiveWindow() == hwnd_ &&
        IsWindowVisible(button)) {
        SetFocus(button);
    }
}

Dialogs& TForm1::dialogs() {
    return *dialogs_;
}

void TForm1::setDialogs(Dialogs* replacement) {
    dialogs_ = replacement != nullptr ? replacement : nativeDialogs_.get();
}
