// Drives a real window the way a person would, whatever its toolkit. Each
// binding's window test links one implementation (make_window_driver), and
// the scenarios in scenarios.cpp run unchanged against both.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/layout.h"
#include "app/status_texts.h"
#include "app/view.h"

// The interface language a program chooses once at start, before its window
// is built: in effect from before a driver builds its window until the
// window is gone, then the one before it is back.
class StartLanguage {
public:
    explicit StartLanguage(Language language) : previous_(UiLanguage) { UiLanguage = language; }
    ~StartLanguage() { UiLanguage = previous_; }
    StartLanguage(const StartLanguage&) = delete;
    StartLanguage& operator=(const StartLanguage&) = delete;

private:
    Language previous_;
};

class WindowDriver {
public:
    virtual ~WindowDriver() = default;

    // The window as the handlers see it.
    virtual View& view() = 0;
    // Replaces the modal dialogs; null restores the real ones.
    virtual void setDialogs(Dialogs* dialogs) = 0;

    // Replaces the text of an edit field as typing does (change events fire).
    virtual void type(const std::string& control, const std::string& utf8) = 0;
    // Clicks a push button or the check box.
    virtual void click(const std::string& control) = 0;
    // Chooses the item at `index` of a drop-down list, as the user does.
    virtual void choose(const std::string& control, int index) = 0;
    // Chooses "実行(&E)" from the menu bar.
    virtual void execute() = 0;
    // Shows page 0 ("ユーザー指定") or 1 ("末尾ゼロ削除") as a click on its tab.
    virtual void selectPage(int index) = 0;
    // Drops files (exact path bytes) on the window as the shell would.
    // Returns whether the window took the drop.
    virtual bool drop(const std::vector<std::string>& paths) = 0;
    // Asks the window to close as its close box does; delivered by the event
    // loop, so a scan that pumps events sees it.
    virtual void requestClose() = 0;
    // Presses Esc, delivered by the event loop, so a scan that pumps events
    // sees it.
    virtual void pressEscape() = 0;
    // Lets the event loop handle what is pending.
    virtual void pump() = 0;

    // What a control shows, as UTF-8: an edit field's text, a label's caption.
    virtual std::string text(const std::string& control) = 0;
    virtual std::string statusText() = 0;
    virtual int progress() = 0;
    // "E1" names the menu command.
    virtual bool isEnabled(const std::string& control) = 0;
    // Whether typing into the edit field would change it.
    virtual bool isEditable(const std::string& control) = 0;

    // Where a control sits in its parent's client area.
    virtual Bounds bounds(const std::string& control) = 0;
    // The name of the control's parent from the layout; "" for the window.
    virtual std::string parentName(const std::string& control) = 0;
    // True when every character of the label's text is shown, none cut off.
    virtual bool showsWholeText(const std::string& label) = 0;
};

// The window of the binding under test, built in `language`, shown and
// settled.
std::unique_ptr<WindowDriver> make_window_driver(Language language);
