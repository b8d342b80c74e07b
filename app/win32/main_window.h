// The main window in plain Win32: controls made from the layout table at
// fixed pixel positions, each event wired to its toolkit-free handler, and
// the View operations the handlers use.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "app/edit1_path.h"
#include "app/layout.h"
#include "app/scan_busy.h"
#include "app/view.h"
#include "app/win32/native_dialogs.h"
#include "app/win32/number_label.h"

class TForm1 final : public View {
public:
    // Child-window ids: 101 onwards in the layout table's order (a test
    // checks that each name here is the row of that name).
    enum ControlId : int {
        Edit1 = 101,
        Button3,
        Label3,
        Label1,
        Label2,
        Label4,
        Label5,
        PageControl1,
        TabSheet1,
        Edit5,
        Label6,
        Edit6,
        Label7,
        Edit7,
        Label8,
        Edit8,
        CheckBox1,
        TabSheet2,
        Button1,
        ProgressBar1,
        Label9,
        ComboBox1,
        StatusBar1,
    };
    // The menu bar's one item, a command without a submenu.
    enum MenuId : int { E1 = 201 };

    // Creates the window, hidden; show() puts it on screen.
    TForm1();
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    void show(int showCommand = SW_SHOWNORMAL);
    // The top-level window, or null once it has been destroyed.
    HWND handle() const { return hwnd_; }
    HWND control(ControlId id) const;
    // The control of that name in the layout table; null when none.
    HWND control(std::string_view name) const;
    HMENU menu() const { return menu_; }

    // One message from a message loop: keyboard navigation first, then
    // translation and dispatch.
    void dispatchMessage(MSG& message);

    std::string editText(EditId edit) const override;
    void setEdit1Text(const std::string& text) override;
    void setLabelCaption(LabelId label, const std::string& caption) override;
    bool isCheckBox1Checked() const override;
    int padChoiceIndex() const override;
    void setProgress(int position) override;
    void setStatusText(const std::string& text) override;
    void processPendingEvents() override;
    bool closeRequested() const override;
    bool scanCancelRequested() const override;
    void focusScanButton() override;
    void setCommandsEnabled(bool enabled) override;
    Dialogs& dialogs() override;

    // The real dialogs are modal and would stall an automated run; tests put
    // stand-ins here. Null restores the real ones.
    void setDialogs(Dialogs* replacement);

private:
    struct GdiObjectDeleter {
        void operator()(HGDIOBJ object) const { DeleteObject(object); }
    };
    using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;

    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void createControls();
    HWND createControl(int index, const LayoutRow& layoutRow);
    void placePages();
    void widenToFitCaption(HWND child, ControlKind kind);
    void fitNumber(HWND label);
    void placeStatusBar(int clientWidth, int clientHeight);
    void setClientSize(int width, int height);
    void centreOnDesktop();
    void FormCreate();
    void showPage(HWND pages, int index);
    const LayoutRow* rowOf(HWND child) const;
    HWND firstTabStop() const;

    void onCommand(int id, int notification);
    void onDropFiles(HDROP drop);
    LRESULT onControlColour(HDC dc, HWND label);
    void onClose();
    bool moveFocusByTab(const MSG& message);
    std::vector<HWND> tabStops() const;

    // Every handler runs through here: it counts how deep handlers are
    // nested, so a close that arrives while one pumps events waits for it.
    template <class Handler>
    void runHandler(Handler&& handler);

    HWND hwnd_ = nullptr;
    HMENU menu_ = nullptr;  // owned by the window, destroyed with it
    std::array<HWND, StatusBar1 - Edit1 + 1> controls_{};
    int statusBarHeight_ = 0;
    FontHandle font_;
    std::unique_ptr<NumberLabelFonts> numberFonts_;  // smaller fonts for long numbers
    HWND lastFocus_ = nullptr;

    // Edit1's exact path while it shows what the program put there.
    ExactPath edit1Path_;
    bool settingEdit1_ = false;
    // While a scan runs, a drop or click that was on its way is ignored.
    ScanBusyState scan_;

    int handlerDepth_ = 0;
    bool closeRequested_ = false;
    bool destroyWhenIdle_ = false;
    bool destroyedByOwner_ = false;
    std::unique_ptr<Dialogs> nativeDialogs_;
    Dialogs* dialogs_ = nullptr;
};
