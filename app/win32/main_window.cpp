#include "app/win32/main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <exception>
#include <stdexcept>
#include <utility>

#include "app/captions.h"
#include "app/handlers.h"
#include "app/number_fit.h"
#include "app/window_controls.h"
#include "app/win32/accessible_name.h"
#include "app/win32/text.h"

namespace {

constexpr wchar_t kFormClass[] = L"TavrixForm";
constexpr wchar_t kTabSheetClass[] = L"TavrixTabSheet";
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
        // The program's own icon (resource 1) in the title bar and task bar;
        // the system's where a test program carries none.
        form.hIcon = LoadIconW(module_instance(), MAKEINTRESOURCEW(1));
        if (form.hIcon == nullptr) form.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
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

}  // namespace

// ---------------------------------------------------------------- creation

TForm1::TForm1() : nativeDialogs_(make_native_dialogs(hwnd_)), dialogs_(nativeDialogs_.get()) {
    // The ids follow the table; a row more or less would shift them all.
    if (control_layout().size() != controls_.size()) throw std::logic_error("layout table and control ids differ");
    register_classes(&TForm1::windowProcedure);
    const FormLayout& form = form_layout();

    menu_ = CreateMenu();
    if (menu_ == nullptr || !AppendMenuW(menu_, MF_STRING, E1, widen(localized_caption(form.executeItemName, form.executeCaption)).c_str())) {
        if (menu_ != nullptr) DestroyMenu(menu_);
        throw std::runtime_error("メニューを作成できません");
    }

    RECT frame{0, 0, form.clientWidth, form.clientHeight};
    AdjustWindowRectEx(&frame, kFormStyle, TRUE, 0);
    // The window procedure records the handle in hwnd_ on its first message.
    if (CreateWindowExW(0, kFormClass, widen(form.caption).c_str(), kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        frame.right - frame.left, frame.bottom - frame.top, nullptr, menu_,
                        module_instance(), this) == nullptr) {
        // A window that got as far as being destroyed took its menu along.
        if (IsMenu(menu_)) DestroyMenu(menu_);
        throw std::runtime_error("ウィンドウを作成できません");
    }

    try {
        const MeasuringDc screen(nullptr, nullptr);
        const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
        font_.reset(CreateFontW(-MulDiv(form.fontPointSize, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, widen(form.fontFamily).c_str()));
        numberFonts_ = std::make_unique<NumberLabelFonts>(font_.get());
        createControls();
        // The menu bar's height is only known for sure once it exists.
        setClientSize(form.clientWidth, form.clientHeight);
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

namespace {

// The window class, style and extended style that make a control of a kind.
struct NativeKind {
    const wchar_t* windowClass;
    DWORD style;
    DWORD extendedStyle = 0;
};

NativeKind native_kind(ControlKind kind) {
    switch (kind) {
        case ControlKind::Button: return {WC_BUTTONW, BS_PUSHBUTTON};
        case ControlKind::Edit: return {WC_EDITW, ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
        case ControlKind::Label: return {WC_STATICW, SS_LEFT | SS_NOPREFIX};
        // Right-aligned so the digits line up.
        case ControlKind::NumberLabel: return {WC_STATICW, SS_RIGHT | SS_NOPREFIX};
        case ControlKind::PageControl: return {WC_TABCONTROLW, WS_CLIPCHILDREN | WS_CLIPSIBLINGS};
        case ControlKind::TabSheet: return {kTabSheetClass, WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT};
        case ControlKind::CheckBox: return {WC_BUTTONW, BS_AUTOCHECKBOX};
        case ControlKind::ProgressBar: return {PROGRESS_CLASSW, 0};
        case ControlKind::ComboBox: return {WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL};
        // Left to itself the status bar takes a height from its font (25
        // pixels with some CJK fonts); the window places it instead, see
        // placeStatusBar.
        case ControlKind::StatusBar:
            return {STATUSCLASSNAMEW, SBARS_SIZEGRIP | CCS_NORESIZE | CCS_NOPARENTALIGN};
    }
    throw std::logic_error("unknown control kind");
}

bool is_tab_stop(const LayoutRow& layoutRow) { return layoutRow.tabOrder > 0 && takes_focus(layoutRow); }

}  // namespace

HWND TForm1::createControl(int index, const LayoutRow& layoutRow) {
    const NativeKind native = native_kind(layoutRow.kind);
    const HWND parent = layoutRow.parent != nullptr ? control(layoutRow.parent) : hwnd_;
    if (parent == nullptr) throw std::logic_error("a control's parent comes after it in the layout table");
    const DWORD style = WS_CHILD | WS_VISIBLE | native.style | (is_tab_stop(layoutRow) ? WS_TABSTOP : 0);
    const std::wstring caption = widen(localized_caption(layoutRow.name, layoutRow.caption));
    const Bounds& box = layoutRow.bounds;
    // A drop-down list's height is its open list's; the closed box takes the
    // font's.
    const int height = layoutRow.kind == ControlKind::ComboBox ? box.height * 5 : box.height;
    HWND child = CreateWindowExW(native.extendedStyle, native.windowClass, caption.c_str(), style, box.left,
                                 box.top, box.width, height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(Edit1 + index)), module_instance(),
                                 nullptr);
    if (child == nullptr) throw std::runtime_error("コントロールを作成できません");
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    controls_[static_cast<std::size_t>(index)] = child;
    if (const std::string spoken = accessible_name(layoutRow.name); !spoken.empty())
        set_accessible_name(child, widen(spoken), layoutRow.kind == ControlKind::NumberLabel);

    switch (layoutRow.kind) {
        case ControlKind::TabSheet: {
            // A page is also its tab control's item, with the same caption.
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = const_cast<wchar_t*>(caption.c_str());
            const int count = TabCtrl_GetItemCount(parent);
            if (TabCtrl_InsertItem(parent, count, &item) != count) throw std::runtime_error("タブを作成できません");
            break;
        }
        case ControlKind::ProgressBar:
            SendMessageW(child, PBM_SETRANGE32, 0, 100);
            SendMessageW(child, PBM_SETSTEP, 1, 0);
            SendMessageW(child, PBM_SETPOS, 0, 0);
            break;
        case ControlKind::StatusBar:
            statusBarHeight_ = box.height;
            break;
        case ControlKind::ComboBox:
            for (const std::string& item : pad_choice_items())
                SendMessageW(child, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
            SendMessageW(child, CB_SETCURSEL, 0, 0);
            break;
        case ControlKind::Label:
        case ControlKind::CheckBox:
            widenToFitCaption(child, layoutRow.kind);
            break;
        default:
            break;
    }
    return child;
}

// Every control of the table, parents before their children; the ids follow
// the rows.
void TForm1::createControls() {
    const auto layout = control_layout();
    for (std::size_t index = 0; index < layout.size(); ++index) createControl(static_cast<int>(index), layout[index]);
    placePages();
}

// The pages fill their tab control's display area, which depends on the
// tabs' font and captions: known once all tabs exist.
void TForm1::placePages() {
    const auto layout = control_layout();
    for (std::size_t index = 0; index < layout.size(); ++index) {
        if (layout[index].kind != ControlKind::TabSheet) continue;
        const HWND page = controls_[index];
        const HWND pages = GetParent(page);
        RECT display;
        GetClientRect(pages, &display);
        TabCtrl_AdjustRect(pages, FALSE, &display);
        SetWindowPos(page, nullptr, display.left, display.top, display.right - display.left,
                     display.bottom - display.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// A caption keeps its position but widens when the font is wider than the
// one the layout was drawn with, so "GB" never shows as a cut "G".
void TForm1::widenToFitCaption(HWND child, ControlKind kind) {
    int needed = 0;
    SIZE ideal{};
    if (kind == ControlKind::CheckBox && SendMessageW(child, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal))) {
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
    SetWindowPos(status, nullptr, 0, clientHeight - statusBarHeight_, clientWidth, statusBarHeight_,
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
    showPage(control(PageControl1), 0);
}

// The tab control's pages are its children in the table's order.
void TForm1::showPage(HWND pages, int index) {
    int page = 0;
    const auto layout = control_layout();
    for (std::size_t row = 0; row < layout.size(); ++row) {
        if (layout[row].kind != ControlKind::TabSheet || GetParent(controls_[row]) != pages) continue;
        ShowWindow(controls_[row], page++ == index ? SW_SHOW : SW_HIDE);
    }
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

HWND TForm1::control(std::string_view name) const {
    const LayoutRow* layoutRow = find_control(name);
    if (layoutRow == nullptr) return nullptr;
    return controls_[static_cast<std::size_t>(layoutRow - control_layout().data())];
}

const LayoutRow* TForm1::rowOf(HWND child) const {
    const auto found = std::find(controls_.begin(), controls_.end(), child);
    if (child == nullptr || found == controls_.end()) return nullptr;
    return &control_layout()[static_cast<std::size_t>(found - controls_.begin())];
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
                showPage(header->hwndFrom, TabCtrl_GetCurSel(header->hwndFrom));
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
                target = firstTabStop();
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
        case Edit1:
            // The user's own edit: from now on the field's text is the path.
            if (notification == EN_CHANGE && !settingEdit1_) edit1Path_.forget();
            break;
        case Edit5:
        case Edit6:
        case Edit7:
        case Edit8:
            if (notification == EN_CHANGE) runHandler([this] { UpdateOutputSize(*this); });
            break;
        case CheckBox1:
            if (notification == BN_CLICKED) runHandler([this] { UpdateOutputSize(*this); });
            break;
        // A click queued before a scan disabled the button is dropped.
        case Button1:
            if (notification == BN_CLICKED && !scan_.busy()) runHandler([this] { Button1Click(*this); });
            break;
        case Button3:
            if (notification == BN_CLICKED && !scan_.busy()) runHandler([this] { Button3Click(*this); });
            break;
        // Esc, as the dialog manager delivers it, stops a scan.
        case IDCANCEL:
            scan_.requestCancel();
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
    // One already on its way when a scan began.
    if (scan_.busy()) return;
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
    const LayoutRow* layoutRow = rowOf(label);
    if (layoutRow != nullptr && layoutRow->setOff) {
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
// list here: the table's stops in its tab order, the hidden page's left out.
std::vector<HWND> TForm1::tabStops() const {
    std::vector<HWND> stops;
    for (const LayoutRow* row : tab_chain()) {
        const HWND child = control(row->name);
        if (child != nullptr && takes_focus(*row) && IsWindowVisible(child) && IsWindowEnabled(child))
            stops.push_back(child);
    }
    return stops;
}

HWND TForm1::firstTabStop() const {
    const std::vector<HWND> stops = tabStops();
    return stops.empty() ? nullptr : stops.front();
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

std::string TForm1::editText(EditId edit) const {
    const std::string shown = narrow(window_text(control(control_name(edit))));
    return edit == EditId::Edit1 ? edit1Path_.resolve(shown) : shown;
}

// The field shows a readable form; editText gives the exact bytes back.
void TForm1::setEdit1Text(const std::string& path) {
    const std::string shown = edit1Path_.set(path);
    settingEdit1_ = true;
    SetWindowTextW(control(Edit1), widen(shown).c_str());
    settingEdit1_ = false;
}

void TForm1::setLabelCaption(LabelId label, const std::string& caption) {
    const HWND child = control(control_name(label));
    SetWindowTextW(child, widen(caption).c_str());
    fitNumber(child);
}

// Every digit shows, by the rule of app/number_fit.h.
void TForm1::fitNumber(HWND label) {
    const LayoutRow* layoutRow = rowOf(label);
    if (layoutRow == nullptr || layoutRow->kind != ControlKind::NumberLabel || !numberFonts_) return;
    const int leftLimit = number_label_left_limit(*layoutRow, [this](const LayoutRow& other) {
        const HWND placed = control(other.name);
        RECT box;
        GetWindowRect(placed, &box);
        MapWindowPoints(nullptr, GetParent(placed), reinterpret_cast<POINT*>(&box), 2);
        return static_cast<int>(box.right);
    });
    fit_number_label(label, layoutRow->bounds, leftLimit, *numberFonts_);
}

bool TForm1::isCheckBox1Checked() const {
    return SendMessageW(control(CheckBox1), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TForm1::setProgress(int position) {
    if (const std::optional<int> shown = scan_.progress(position, ScanBusyState::Clock::now()))
        SendMessageW(control(ProgressBar1), PBM_SETPOS, static_cast<WPARAM>(*shown), 0);
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

bool TForm1::scanCancelRequested() const { return scan_.cancelRequested(); }

int TForm1::padChoiceIndex() const {
    const LRESULT chosen = SendMessageW(control(ComboBox1), CB_GETCURSEL, 0, 0);
    return chosen == CB_ERR ? 0 : static_cast<int>(chosen);
}

void TForm1::focusScanButton() { SetFocus(control(Button1)); }

void TForm1::setCommandsEnabled(bool enabled) {
    if (const std::optional<int> waiting = scan_.setBusy(!enabled))
        SendMessageW(control(ProgressBar1), PBM_SETPOS, static_cast<WPARAM>(*waiting), 0);
    const HWND button = control(Button1);
    EnableWindow(button, enabled);
    EnableWindow(control(Button3), enabled);
    if (menu_ != nullptr) EnableMenuItem(menu_, E1, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    // Read-only rather than disabled: the path and the units stay readable
    // and selectable, but nothing changes what the work under way was given.
    for (const ControlId field : {Edit1, Edit5, Edit6, Edit7, Edit8})
        SendMessageW(control(field), EM_SETREADONLY, !enabled, 0);
    EnableWindow(control(CheckBox1), enabled);
    if (hwnd_ != nullptr) {
        DrawMenuBar(hwnd_);
        // The shell drops nothing on a window that does not accept files.
        DragAcceptFiles(hwnd_, enabled);
    }
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
