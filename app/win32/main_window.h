// The main window in plain Win32: controls placed at fixed pixel positions,
// each event wired to its toolkit-free handler, and the View operations the
// handlers use.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "app/view.h"

// Message boxes of our own carry this title.
inline constexpr wchar_t kApplicationTitle[] = L"Tavrix";

// The folder browser's event callback: once the dialog is up, it selects the
// folder whose wide path `data` points to (a std::wstring), unless empty.
int CALLBACK browse_callback(HWND dialog, UINT event, LPARAM parameter, LPARAM data);

// An exception that reached the top of an event: a message box with its
// UTF-8 text (empty for an unknown exception), owned by `owner`.
void show_exception(HWND owner, const std::string& message);

// One COM single-threaded apartment for the calling thread, as the shell's
// folder browser needs.
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_ = false;
};

class TForm1 final : public View {
public:
    // Child-window ids, in creation order, which is also the tab order.
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
    HMENU menu() const { return menu_; }

    // One message from a message loop: keyboard navigation first, then
    // translation and dispatch.
    void dispatchMessage(MSG& message);

    std::string editText(EditId edit) const override;
    void setEdit1Text(const std::string& text) override;
    void setLabelCaption(LabelId label, const std::string& caption) override;
    bool isCheckBox1Checked() const override;
    void setProgress(int position) override;
    void setStatusText(const std::string& text) override;
    void processPendingEvents() override;
    bool closeRequested() const override;
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

    struct Bounds {
        int left, top, width, height;
    };

    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void createControls();
    HWND createControl(ControlId id, HWND parent, const wchar_t* windowClass, const wchar_t* caption,
                       DWORD style, const Bounds& bounds, DWORD extendedStyle = 0);
    void widenToFitCaption(ControlId id);
    void placeStatusBar(int clientWidth, int clientHeight);
    void setClientSize(int width, int height);
    void centreOnDesktop();
    void FormCreate();
    void showPage(int index);

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
    FontHandle font_;
    HWND lastFocus_ = nullptr;

    int handlerDepth_ = 0;
    bool closeRequested_ = false;
    bool destroyWhenIdle_ = false;
    bool destroyedByOwner_ = false;
    std::unique_ptr<Dialogs> nativeDialogs_;
    Dialogs* dialogs_ = nullptr;
};
