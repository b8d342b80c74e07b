#include "app/win32/main_window.h"

#include <commctrl.h>
#include <ole2.h>
#include <oleacc.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <ostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "app/captions.h"
#include "app/layout.h"
#include "app/win32/text.h"
#include "tests/scripted_dialogs.h"
#include "tests/temp_dir.h"
#include "tests/win32/win32_driver.h"

static std::ostream& operator<<(std::ostream& out, const Bounds& box) {
    return out << '{' << box.left << ", " << box.top << ", " << box.width << ", " << box.height << '}';
}

namespace {

using Id = TForm1::ControlId;
using Box = Bounds;

// Where a child sits in its parent's client area: left, top, width, height.
Box placement(HWND child) {
    RECT bounds;
    GetWindowRect(child, &bounds);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&bounds), 2);
    return {bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top};
}

std::string class_of(HWND window) {
    std::wstring name(256, L'\0');
    name.resize(static_cast<std::size_t>(GetClassNameW(window, name.data(), 256)));
    return narrow(name);
}

// Records messages sent to windows of this thread while it lives.
class SentMessages {
public:
    using Filter = std::function<const char*(const CWPSTRUCT&)>;  // a name to record, or null
    explicit SentMessages(Filter filter) {
        filter_ = std::move(filter);
        seen_.clear();
        hook_ = SetWindowsHookExW(WH_CALLWNDPROC, record, nullptr, GetCurrentThreadId());
    }
    ~SentMessages() { UnhookWindowsHookEx(hook_); }
    SentMessages(const SentMessages&) = delete;
    SentMessages& operator=(const SentMessages&) = delete;
    const std::vector<std::string>& seen() const { return seen_; }

private:
    static LRESULT CALLBACK record(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HC_ACTION) {
            if (const char* name = filter_(*reinterpret_cast<const CWPSTRUCT*>(lParam))) seen_.emplace_back(name);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline Filter filter_;
    static inline std::vector<std::string> seen_;
    HHOOK hook_;
};

// Runs `answer` on the first dialog box of this thread once a modal loop is
// running; the caller then enters the modal call.
void answer_dialog(std::function<void(HWND dialog)> answer) {
    static std::function<void(HWND)> pending;
    pending = std::move(answer);
    SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR timer, DWORD) {
        HWND dialog = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM found) {
            if (class_of(window) != "#32770" || !IsWindowVisible(window)) return TRUE;
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&dialog));
        if (dialog == nullptr) return;
        KillTimer(nullptr, timer);
        pending(dialog);
    });
}

std::vector<std::string> child_texts(HWND parent) {
    std::vector<std::string> texts;
    EnumChildWindows(parent, [](HWND child, LPARAM list) {
        reinterpret_cast<std::vector<std::string>*>(list)->push_back(narrow(window_text(child)));
        return TRUE;
    }, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.show();
        form.processPendingEvents();
    }

    HWND control(Id id) {
        const HWND child = form.control(id);
        EXPECT_NE(child, nullptr) << id;
        return child;
    }
    std::string text(Id id) { return narrow(window_text(control(id))); }
    void type(Id id, const std::string& text) { SetWindowTextW(control(id), widen(text).c_str()); }
    void click(Id id) { SendMessageW(control(id), BM_CLICK, 0, 0); }
    void execute() { SendMessageW(form.handle(), WM_COMMAND, MAKEWPARAM(TForm1::E1, 0), 0); }
    std::string statusText() {
        const HWND status = control(TForm1::StatusBar1);
        const auto length = LOWORD(SendMessageW(status, SB_GETTEXTLENGTHW, 0, 0));
        std::wstring text(length + 1u, L'\0');
        SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
        text.resize(length);
        return narrow(text);
    }
    // Clicks the tab of a page, as the user would.
    void selectPage(int index) {
        const HWND pages = control(TForm1::PageControl1);
        RECT tab{};
        TabCtrl_GetItemRect(pages, index, &tab);
        const LPARAM centre = MAKELPARAM((tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
        SendMessageW(pages, WM_LBUTTONDOWN, MK_LBUTTON, centre);
        SendMessageW(pages, WM_LBUTTONUP, 0, centre);
        form.processPendingEvents();
    }
    bool e1Enabled() { return !(GetMenuState(form.menu(), TForm1::E1, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)); }

    TForm1 form;
};

// ---------------------------------------------------------------- layout

// The window class each kind of control is made from.
std::string class_of_kind(ControlKind kind) {
    switch (kind) {
        case ControlKind::Button:
        case ControlKind::CheckBox: return "Button";
        case ControlKind::Edit: return "Edit";
        case ControlKind::Label:
        case ControlKind::NumberLabel: return "Static";
        case ControlKind::PageControl: return "SysTabControl32";
        case ControlKind::TabSheet: return "TavrixTabSheet";
        case ControlKind::ProgressBar: return "msctls_progress32";
        case ControlKind::ComboBox: return "ComboBox";
        case ControlKind::StatusBar: return "msctls_statusbar32";
    }
    return {};
}

bool has_caption(ControlKind kind) {
    return kind != ControlKind::PageControl && kind != ControlKind::ProgressBar && kind != ControlKind::StatusBar &&
           kind != ControlKind::ComboBox;
}

bool is_page(const LayoutRow& layoutRow) { return layoutRow.kind == ControlKind::TabSheet; }

std::string parent_of(const LayoutRow& layoutRow) { return layoutRow.parent != nullptr ? layoutRow.parent : ""; }

// The rows of the table that lie on one page, in table order.
std::vector<const LayoutRow*> rows_on(const std::string& page) {
    std::vector<const LayoutRow*> rows;
    for (const LayoutRow& layoutRow : control_layout()) {
        if (parent_of(layoutRow) == page) rows.push_back(&layoutRow);
    }
    return rows;
}

int text_width(HWND child) {
    const std::wstring caption = window_text(child);
    const HDC dc = GetDC(child);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(child, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(child, dc);
    return extent.cx;
}

// The enum's names are the rows' names: an id of the enum reaches the
// control the table names so.
TEST(ControlIds, NameTheRowsOfTheLayoutTable) {
    using F = TForm1;
    const std::pair<Id, const char*> ids[] = {
        {F::Edit1, "Edit1"}, {F::Button3, "Button3"}, {F::Label3, "Label3"}, {F::Label1, "Label1"},
        {F::Label2, "Label2"}, {F::Label4, "Label4"}, {F::Label5, "Label5"}, {F::PageControl1, "PageControl1"},
        {F::TabSheet1, "TabSheet1"}, {F::Edit5, "Edit5"}, {F::Label6, "Label6"}, {F::Edit6, "Edit6"},
        {F::Label7, "Label7"}, {F::Edit7, "Edit7"}, {F::Label8, "Label8"}, {F::Edit8, "Edit8"},
        {F::CheckBox1, "CheckBox1"}, {F::TabSheet2, "TabSheet2"}, {F::Button1, "Button1"},
        {F::ProgressBar1, "ProgressBar1"}, {F::Label9, "Label9"}, {F::ComboBox1, "ComboBox1"},
        {F::StatusBar1, "StatusBar1"},
    };
    ASSERT_EQ(std::size(ids), control_layout().size());
    for (const auto& [id, name] : ids) EXPECT_STREQ(control_layout()[id - F::Edit1].name, name) << id;
}

// What the window is made of: the class for each kind, ids in table order,
// the native parent, one font, tab stops.
TEST_F(WindowTest, EveryControlIsMadeFromItsRowOfTheLayoutTable) {
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(control(TForm1::Edit1), WM_GETFONT, 0, 0));
    const auto layout = control_layout();
    for (std::size_t row = 0; row < layout.size(); ++row) {
        const LayoutRow& layoutRow = layout[row];
        SCOPED_TRACE(layoutRow.name);
        const HWND child = form.control(layoutRow.name);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(child, form.control(static_cast<Id>(TForm1::Edit1 + static_cast<int>(row))));
        EXPECT_EQ(GetDlgCtrlID(child), TForm1::Edit1 + static_cast<int>(row)) << "ids in table order";
        EXPECT_EQ(class_of(child), class_of_kind(layoutRow.kind));
        EXPECT_EQ(GetParent(child), layoutRow.parent == nullptr ? form.handle() : form.control(layoutRow.parent));
        if (!is_page(layoutRow)) {  // a page draws no text of its own
            EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), font);
        }
        // A progress bar is in the tab order but takes no focus.
        const bool tabStop = layoutRow.tabOrder > 0 && layoutRow.kind != ControlKind::ProgressBar;
        EXPECT_EQ((GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP) != 0, tabStop);
        if (has_caption(layoutRow.kind)) {
            EXPECT_EQ(narrow(window_text(child)), layoutRow.caption);
        }
    }
    // Places, captions and widened captions: Scenario.EveryControlSitsWhereTheLayoutTableSaysWithItsCaption.
}

TEST_F(WindowTest, WindowFrameMenuFontAndClientArea) {
    const HWND window = form.handle();
    EXPECT_EQ(narrow(window_text(window)), "Tavrix v0.11");
    EXPECT_EQ(narrow(window_text(window)), form_layout().caption);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    EXPECT_EQ(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_MAXIMIZEBOX),
              static_cast<DWORD>(WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME)) << "sizeable, no maximise button";

    const HMENU menu = GetMenu(window);
    ASSERT_EQ(GetMenuItemCount(menu), 1);
    EXPECT_EQ(GetMenuItemID(menu, 0), static_cast<UINT>(TForm1::E1));
    EXPECT_EQ(GetSubMenu(menu, 0), nullptr) << "a command, not a submenu";
    std::wstring caption(32, L'\0');
    caption.resize(static_cast<std::size_t>(GetMenuStringW(menu, 0, caption.data(), 32, MF_BYPOSITION)));
    EXPECT_EQ(narrow(caption), form_layout().executeCaption);

    LOGFONTW face{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control(TForm1::Edit1), WM_GETFONT, 0, 0)), sizeof face, &face);
    const HDC screen = GetDC(nullptr);
    EXPECT_EQ(face.lfHeight, -MulDiv(form_layout().fontPointSize, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(narrow(face.lfFaceName), form_layout().fontFamily);
    EXPECT_EQ(face.lfCharSet, DEFAULT_CHARSET);

    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ((Box{0, 0, client.right, client.bottom}), (Box{0, 0, form_layout().clientWidth, form_layout().clientHeight}));
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT frame;
    GetWindowRect(window, &frame);
    EXPECT_NEAR(frame.left + frame.right, work.left + work.right, 2) << "centred across";
    EXPECT_NEAR(frame.top + frame.bottom, work.top + work.bottom, 2) << "centred down";
}

TEST_F(WindowTest, StatusBarFollowsAResizeAndNothingElseMoves) {
    const HWND status = control(TForm1::StatusBar1);
    EXPECT_EQ(class_of(status), "msctls_statusbar32");
    EXPECT_TRUE(GetWindowLongPtrW(status, GWL_STYLE) & SBARS_SIZEGRIP);
    const Box table = find_control("StatusBar1")->bounds;
    EXPECT_EQ(placement(status), table);

    RECT frame;
    GetWindowRect(form.handle(), &frame);
    SetWindowPos(form.handle(), nullptr, 0, 0, frame.right - frame.left + 206, frame.bottom - frame.top + 166,
                 SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(placement(status), (Box{0, form_layout().clientHeight + 166 - table.height,
                                      form_layout().clientWidth + 206, table.height}));
    for (const LayoutRow& layoutRow : control_layout()) {
        if (is_page(layoutRow) || layoutRow.kind == ControlKind::StatusBar) continue;
        const Box box = placement(form.control(layoutRow.name));
        EXPECT_EQ((Box{box.left, box.top, 0, 0}), (Box{layoutRow.bounds.left, layoutRow.bounds.top, 0, 0})) << layoutRow.name;
    }
}

// Each page is a child of the tab control, over its display area below the
// tabs, and big enough for everything placed on it.
TEST_F(WindowTest, PagesOpenOnTheFirstAndSwitchByTheirTabs) {
    const HWND pages = control(TForm1::PageControl1);
    const std::vector<const LayoutRow*> sheets = rows_on("PageControl1");
    ASSERT_EQ(sheets.size(), 2u);
    ASSERT_EQ(TabCtrl_GetItemCount(pages), 2);
    RECT client;
    GetClientRect(pages, &client);
    for (int index = 0; index < 2; ++index) {
        const HWND sheet = form.control(sheets[index]->name);
        SCOPED_TRACE(index);
        std::wstring caption(32, L'\0');
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        item.cchTextMax = 32;
        ASSERT_TRUE(TabCtrl_GetItem(pages, index, &item));
        EXPECT_EQ(narrow(item.pszText), sheets[index]->caption);
        EXPECT_EQ(narrow(window_text(sheet)), sheets[index]->caption);

        EXPECT_EQ(GetParent(sheet), pages);
        RECT tab{};
        TabCtrl_GetItemRect(pages, index, &tab);
        const Box page = placement(sheet);
        EXPECT_GE(page.top, tab.bottom);
        EXPECT_GE(page.left, 0);
        EXPECT_LE(page.left + page.width, client.right);
        EXPECT_LE(page.top + page.height, client.bottom);
        for (const LayoutRow* row : rows_on(sheets[index]->name)) {
            const Box box = placement(form.control(row->name));
            EXPECT_LE(box.left + box.width, page.width) << row->name;
            EXPECT_LE(box.top + box.height, page.height) << row->name;
        }
    }

    EXPECT_EQ(TabCtrl_GetCurSel(pages), 0);
    EXPECT_TRUE(IsWindowVisible(control(TForm1::TabSheet1)));
    EXPECT_FALSE(IsWindowVisible(control(TForm1::TabSheet2)));
    selectPage(1);
    EXPECT_EQ(TabCtrl_GetCurSel(pages), 1);
    EXPECT_FALSE(IsWindowVisible(control(TForm1::TabSheet1)));
    EXPECT_TRUE(IsWindowVisible(control(TForm1::TabSheet2)));
    selectPage(0);
    EXPECT_TRUE(IsWindowVisible(control(TForm1::TabSheet1)));
    EXPECT_FALSE(IsWindowVisible(control(TForm1::TabSheet2)));

    EXPECT_EQ(SendMessageW(control(TForm1::CheckBox1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    const HWND progress = control(TForm1::ProgressBar1);
    PBRANGE range{};
    SendMessageW(progress, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(SendMessageW(progress, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(SendMessageW(progress, PBM_GETSTEP, 0, 0), 1);
}

TEST_F(WindowTest, NumberLabelsAreRightAlignedAndSetOff) {
    for (const LayoutRow& layoutRow : control_layout()) {
        if (layoutRow.kind != ControlKind::NumberLabel) continue;
        EXPECT_EQ(GetWindowLongPtrW(form.control(layoutRow.name), GWL_STYLE) & SS_TYPEMASK, SS_RIGHT) << layoutRow.name;
    }
    // Ask for the colours the way a label does: from its parent.
    const std::unique_ptr<std::remove_pointer_t<HDC>, decltype(&DeleteDC)> dc(CreateCompatibleDC(nullptr),
                                                                               &DeleteDC);
    auto backgroundOf = [&](const char* name) {
        const HWND label = form.control(name);
        SetBkColor(dc.get(), RGB(1, 2, 3));
        const LRESULT brush = SendMessageW(GetParent(label), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                                           reinterpret_cast<LPARAM>(label));
        EXPECT_NE(brush, 0) << name;
        return GetBkColor(dc.get());
    };
    // The caption-text colour where that is light (a classic desktop); a
    // light one all the same where it is black (this one, and Windows 10).
    const COLORREF caption = GetSysColor(COLOR_CAPTIONTEXT);
    const bool captionIsLight = GetRValue(caption) + GetGValue(caption) + GetBValue(caption) >= 3 * 128;
    const COLORREF light = captionIsLight ? caption : GetSysColor(COLOR_HIGHLIGHTTEXT);
    EXPECT_GE(GetRValue(light) + GetGValue(light) + GetBValue(light), 3 * 200);
    int setOff = 0;
    for (const LayoutRow& layoutRow : control_layout()) {
        if (layoutRow.kind != ControlKind::Label && layoutRow.kind != ControlKind::NumberLabel) continue;
        if (layoutRow.setOff) {
            ++setOff;
            EXPECT_EQ(backgroundOf(layoutRow.name), light) << layoutRow.name;
        } else {
            EXPECT_NE(backgroundOf(layoutRow.name), light) << layoutRow.name;
        }
    }
    EXPECT_EQ(setOff, 3) << "Label1, Label4, Label5";
}

// What a screen reader hears through MSAA: each field, number and the bar
// by the name in the table (the Qt window's too), a number label's number
// as its value, and the rest as the system has it (wine's role for a label
// or a bar is a bare client area, Windows' its own).
TEST_F(WindowTest, ScreenReadersHearEachFieldNumberAndTheBarByName) {
    struct Releaser {
        void operator()(IAccessible* object) const { object->Release(); }
    };
    using Accessible = std::unique_ptr<IAccessible, Releaser>;
    auto heard = [](BSTR text) {
        const std::string utf8 = text != nullptr ? narrow(std::wstring_view(text, SysStringLen(text))) : "";
        SysFreeString(text);
        return utf8;
    };
    auto role = [](IAccessible& object, const VARIANT& child) {
        VARIANT role;
        VariantInit(&role);
        EXPECT_EQ(object.get_accRole(child, &role), S_OK);
        const long value = role.vt == VT_I4 ? role.lVal : -1;
        VariantClear(&role);
        return value;
    };
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    form.setLabelCaption(LabelId::Label9, "1,234");
    for (const char* name : {"Edit1", "Edit5", "Edit6", "Edit7", "Edit8", "Label1", "Label4", "Label5", "Label9",
                             "ProgressBar1", "ComboBox1"}) {
        SCOPED_TRACE(name);
        const HWND child = form.control(name);
        IAccessible* found = nullptr;
        ASSERT_EQ(AccessibleObjectFromWindow(child, static_cast<DWORD>(OBJID_CLIENT), IID_PPV_ARGS(&found)), S_OK);
        const Accessible accessible(found);
        BSTR spoken = nullptr;
        EXPECT_EQ(accessible->get_accName(self, &spoken), S_OK);
        EXPECT_FALSE(accessible_name(name).empty());
        EXPECT_EQ(heard(spoken), accessible_name(name));
        if (find_control(name)->kind == ControlKind::NumberLabel) {
            BSTR value = nullptr;
            EXPECT_EQ(accessible->get_accValue(self, &value), S_OK);
            EXPECT_EQ(heard(value), narrow(window_text(child)));
        }
        IAccessible* standard = nullptr;
        ASSERT_EQ(CreateStdAccessibleObject(child, OBJID_CLIENT, IID_PPV_ARGS(&standard)), S_OK);
        EXPECT_EQ(role(*accessible, self), role(*Accessible(standard), self));
    }
    EXPECT_EQ(accessible_name("Label5"), "出力サイズ（16進数）");
}

// Tab walks the stops of the window, then those of the shown page, and
// wraps; Shift+Tab walks back. Dialog navigation alone would skip either the
// tab control or the page.
TEST_F(WindowTest, TabKeyFollowsTheTabOrder) {
    auto walk = [&](Id from, int presses, bool shift) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        SetFocus(control(from));
        std::vector<int> visited{GetDlgCtrlID(GetFocus())};
        for (int i = 0; i < presses; ++i) {
            PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
            form.processPendingEvents();
            visited.push_back(GetDlgCtrlID(GetFocus()));
        }
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
        return visited;
    };
    // The table's stops: the window's by tab order, the shown page's after
    // the tab control; the progress bar takes no focus.
    auto stops = [](const std::string& page) {
        auto ordered = [](const std::string& parent) {
            std::vector<const LayoutRow*> rows;
            for (const LayoutRow* row : rows_on(parent)) {
                if (row->tabOrder > 0 && row->kind != ControlKind::ProgressBar) rows.push_back(row);
            }
            std::stable_sort(rows.begin(), rows.end(),
                             [](const LayoutRow* a, const LayoutRow* b) { return a->tabOrder < b->tabOrder; });
            return rows;
        };
        std::vector<int> ids;
        for (const LayoutRow* row : ordered("")) {
            ids.push_back(TForm1::Edit1 + static_cast<int>(row - control_layout().data()));
            if (row->kind != ControlKind::PageControl) continue;
            for (const LayoutRow* inner : ordered(page))
                ids.push_back(TForm1::Edit1 + static_cast<int>(inner - control_layout().data()));
        }
        return ids;
    };
    const std::vector<int> first = stops("TabSheet1");
    ASSERT_EQ(first.size(), 8u) << "Edit1, Button3, PageControl1, Edit5..Edit8, CheckBox1";
    std::vector<int> around = first;
    around.push_back(first.front());
    EXPECT_EQ(walk(static_cast<Id>(first.front()), 8, false), around);
    EXPECT_EQ(walk(static_cast<Id>(first[3]), 3, true), (std::vector<int>{first[3], first[2], first[1], first[0]}));
    EXPECT_EQ(walk(static_cast<Id>(first.front()), 1, true), (std::vector<int>{first.front(), first.back()}));
    selectPage(1);
    std::vector<int> second = stops("TabSheet2");
    ASSERT_EQ(second.size(), 5u) << "Edit1, Button3, PageControl1, Button1, ComboBox1";
    second.push_back(second.front());
    EXPECT_EQ(walk(static_cast<Id>(second.front()), 5, false), second);
}

// ---------------------------------------------------------------- wiring

// Alt+E from an edit field reaches the menu bar's access key.
TEST_F(WindowTest, AltEFromAnEditFieldExecutes) {
    TempDir dir;
    const std::string path = dir.file("出力.bin");
    write_file(path, std::string(5, 'x'));
    type(TForm1::Edit1, path);
    type(TForm1::Edit8, "7");
    SetFocus(control(TForm1::Edit1));
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_MENU] = 0x80;
    SetKeyboardState(keys);
    PostMessageW(GetFocus(), WM_SYSKEYDOWN, 'E', 0x20000001);  // bit 29: Alt held
    form.processPendingEvents();
    keys[VK_MENU] = 0;
    SetKeyboardState(keys);
    PostMessageW(GetFocus(), WM_SYSKEYUP, 'E', 0xC0000001);
    form.processPendingEvents();
    EXPECT_EQ(file_size(path), 7u);
    EXPECT_EQ(statusText(), path + "を作成しました");
}


// While a scan runs, Edit1 takes no typing, the window no drops and the
// new-name button no clicks; all come back when it ends. The refused input
// is posted before the click, so the scan's own event pump meets it.
TEST_F(WindowTest, ScanRefusesTypingDropsAndTheNewNameButtonUntilItEnds) {
    TempDir dir;
    const std::string path = dir.file("zeros.bin");
    write_file(path, std::string(100, 'x') + std::string(50, '\0'));
    const std::string other = dir.file("other.bin");
    write_file(other, std::string(7, 'x'));
    type(TForm1::Edit1, path);
    selectPage(1);
    int chooserRuns = 0;
    ScriptedDialogs scripted;
    scripted.onChoose = [&](const std::string&, const std::string&) {
        ++chooserRuns;
        return std::optional<std::string>(dir.path());
    };
    form.setDialogs(&scripted);

    const HWND edit = control(TForm1::Edit1);
    const HWND newName = control(TForm1::Button3);
    const SentMessages order([edit, newName](const CWPSTRUCT& sent) -> const char* {
        if (sent.hwnd == edit && sent.message == EM_SETREADONLY) return sent.wParam ? "read-only" : "writable";
        if (sent.hwnd == newName && sent.message == WM_ENABLE) return sent.wParam ? "Button3 on" : "Button3 off";
        return nullptr;
    });
    PostMessageW(edit, WM_CHAR, 'q', 1);
    PostMessageW(form.handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop_of({other})), 0);
    PostMessageW(newName, BM_CLICK, 0, 0);
    PostMessageW(form.handle(), WM_COMMAND, MAKEWPARAM(TForm1::Button3, BN_CLICKED),
                 reinterpret_cast<LPARAM>(newName));
    click(TForm1::Button1);

    EXPECT_EQ(text(TForm1::Label9), "50") << statusText();
    EXPECT_EQ(text(TForm1::Edit1), path) << "typing refused";
    EXPECT_EQ(text(TForm1::Label1), "150") << "drop refused: the scanned file's length";
    EXPECT_EQ(chooserRuns, 0) << "Button3 refused";
    EXPECT_EQ(order.seen(), (std::vector<std::string>{"Button3 off", "read-only", "Button3 on", "writable"}));

    // All back after the scan.
    EXPECT_TRUE(IsWindowEnabled(newName));
    EXPECT_FALSE(GetWindowLongPtrW(edit, GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(GetWindowLongPtrW(form.handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    SendMessageW(form.handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop_of({other})), 0);
    EXPECT_EQ(text(TForm1::Label1), "7");
    click(TForm1::Button3);
    EXPECT_EQ(chooserRuns, 1);
    form.setDialogs(nullptr);
}

// Windows names are UTF-16 and may hold a lone surrogate, which UTF-8 cannot
// carry: Edit1 shows a readable form, and the handlers get the exact name
// (as WTF-8) until the user edits the field.
TEST_F(WindowTest, Edit1KeepsADroppedNameExactUntilTheUserEditsIt) {
    const std::string exact = "C:\\dir\\a\xED\xA0\x80" "b.bin";  // U+D800 alone
    const std::wstring wide = L"C:\\dir\\a\xD800" L"b.bin";
    ASSERT_EQ(widen_path(exact), wide);
    SendMessageW(form.handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop_of({exact})), 0);
    EXPECT_EQ(text(TForm1::Edit1), display_form(exact));
    EXPECT_TRUE(is_valid_utf8(text(TForm1::Edit1)));
    EXPECT_EQ(form.editText(EditId::Edit1), exact);
    EXPECT_EQ(form.editText(EditId::Edit1), exact) << "reading does not forget";

    // Other fields changing leave it alone; the user's edit replaces it.
    type(TForm1::Edit8, "5");
    EXPECT_EQ(form.editText(EditId::Edit1), exact);
    type(TForm1::Edit1, text(TForm1::Edit1));
    EXPECT_EQ(form.editText(EditId::Edit1), display_form(exact)) << "the same text, typed, is the typed text";

    // A name set by the program again is exact again.
    form.setEdit1Text(exact);
    EXPECT_EQ(form.editText(EditId::Edit1), exact);
    const auto end = static_cast<WPARAM>(GetWindowTextLengthW(control(TForm1::Edit1)));
    SendMessageW(control(TForm1::Edit1), EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(control(TForm1::Edit1), WM_CHAR, 'z', 1);
    EXPECT_EQ(form.editText(EditId::Edit1).back(), 'z');
    EXPECT_TRUE(is_valid_utf8(form.editText(EditId::Edit1)));
}

// A number too long for its label first takes the free space before it, in
// the window's font; only one that still does not fit gets a smaller font,
// and a short number brings back the box and the window's font. (That
// every digit shows: Scenario.EveryNumberIsShownWhole.)
TEST_F(WindowTest, NumberLabelsGrowBeforeTheirFontShrinks) {
    const auto fontOf = [](HWND window) { return reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)); };
    const auto heightOf = [](HFONT font) {
        LOGFONTW face{};
        GetObjectW(font, sizeof face, &face);
        return std::abs(face.lfHeight);
    };
    const HFONT windowFont = fontOf(control(TForm1::Edit1));
    const HWND label = control(TForm1::Label1);
    const Box table = find_control("Label1")->bounds;
    const Box before = placement(control(TForm1::Label3));
    const int room = table.left + table.width - (before.left + before.width);

    // Wider than the box, narrower than the room before it (in Tahoma and
    // its stand-ins); the check follows the font's own measure.
    const std::string middling = "972,036,854,775,807";
    const int wide = text_width(label, windowFont, widen(middling));
    form.setLabelCaption(LabelId::Label1, middling);
    if (wide > table.width && wide < room - 4) {
        EXPECT_EQ(fontOf(label), windowFont);
        EXPECT_LT(placement(label).left, table.left) << "grown leftwards";
        EXPECT_GT(placement(label).left, before.left + before.width) << "clear of Label3";
    } else {
        ADD_FAILURE() << "pick another number for this font: " << wide << " px";
    }

    form.setLabelCaption(LabelId::Label1, "-9,223,372,036,854,775,808");
    EXPECT_NE(fontOf(label), windowFont) << "too long for the free space here";
    EXPECT_LT(heightOf(fontOf(label)), heightOf(windowFont));
    RECT client;
    GetClientRect(label, &client);
    EXPECT_LE(text_width(label), client.right);

    form.setLabelCaption(LabelId::Label1, "0");
    EXPECT_EQ(placement(label), table);
    EXPECT_EQ(fontOf(label), windowFont);
}

// ---------------------------------------------------------------- view

// Returns the exit code of a quit message waiting in the queue, taking it.
std::optional<WPARAM> take_quit() {
    MSG message;
    if (!PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return std::nullopt;
    return message.wParam;
}

TEST_F(WindowTest, ClosingDestroysTheWindowAndEndsTheLoopWithZero) {
    const HWND window = form.handle();
    EXPECT_FALSE(form.closeRequested());
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(form.closeRequested());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(form.handle(), nullptr);
    EXPECT_EQ(take_quit(), std::optional<WPARAM>(0));
    form.setStatusText("after close");  // harmless once the window is gone
    EXPECT_EQ(form.editText(EditId::Edit1), "");
}

TEST_F(WindowTest, PumpingEventsLeavesAQuitForTheMainLoop) {
    PostQuitMessage(3);
    form.processPendingEvents();
    EXPECT_EQ(take_quit(), std::optional<WPARAM>(3));
}

// A close that arrives while the scan pumps events hides the window; the scan
// stops, gives the commands back, and only then is the window destroyed.
TEST_F(WindowTest, CloseDuringAScanWaitsForTheHandler) {
    TempDir dir;
    const std::string path = dir.file("scan.bin");
    write_file(path, std::string(10, 'x'));
    type(TForm1::Edit1, path);
    selectPage(1);
    const HWND window = form.handle();
    const HWND button = control(TForm1::Button1);
    const SentMessages order([window, button](const CWPSTRUCT& sent) -> const char* {
        if (sent.hwnd == window && sent.message == WM_SHOWWINDOW && !sent.wParam) return "hidden";
        if (sent.hwnd == button && sent.message == WM_ENABLE && sent.wParam) return "enabled";
        if (sent.hwnd == window && sent.message == WM_DESTROY) return "destroyed";
        return nullptr;
    });

    PostMessageW(window, WM_CLOSE, 0, 0);
    click(TForm1::Button1);
    EXPECT_EQ(order.seen(), (std::vector<std::string>{"hidden", "enabled", "destroyed"}));
    EXPECT_TRUE(form.closeRequested());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(take_quit(), std::optional<WPARAM>(0));
}

// ---------------------------------------------------------------- dialogs

TEST_F(WindowTest, MessageBoxIsOwnedTitledAndCarriesTheText) {
    std::string title;
    std::vector<std::string> texts;
    HWND owner = nullptr;
    answer_dialog([&](HWND box) {
        title = narrow(window_text(box));
        texts = child_texts(box);
        owner = GetWindow(box, GW_OWNER);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    form.dialogs().showMessage("C:\\作成先");
    EXPECT_EQ(title, "Tavrix");
    EXPECT_EQ(owner, form.handle());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "C:\\作成先"), texts.end());
}

// The question before a cut: Esc and Enter (No is the default) both say No.
TEST_F(WindowTest, QuestionTakesEscAndEnterAsNo) {
    for (const WPARAM key : {WPARAM{VK_ESCAPE}, WPARAM{VK_RETURN}}) {
        std::vector<std::string> texts;
        answer_dialog([&](HWND box) {
            texts = child_texts(box);
            PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
            PostMessageW(GetFocus(), WM_KEYUP, key, 0xC0000001);
        });
        EXPECT_FALSE(form.dialogs().askYesNo("C:\\x.bin を切り詰めます")) << key;
        EXPECT_NE(std::find(texts.begin(), texts.end(), "C:\\x.bin を切り詰めます"), texts.end());
    }
    answer_dialog([](HWND box) { PostMessageW(box, WM_COMMAND, IDYES, 0); });
    EXPECT_TRUE(form.dialogs().askYesNo("C:\\x.bin を切り詰めます"));
}

}  // namespace
