// The Win32 window under the shared scenarios: the real window, created
// in-process, driven by the messages a person's actions would send.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/win32/main_window.h"
#include "tests/window/window_driver.h"

// A drop as the shell hands it over: a DROPFILES block of wide names. The
// window that takes it frees it.
HGLOBAL drop_of(const std::vector<std::string>& paths);

class Win32WindowDriver final : public WindowDriver {
public:
    explicit Win32WindowDriver(Language language = Language::Japanese);
    ~Win32WindowDriver() override;

    TForm1& form() { return form_; }

    View& view() override { return form_; }
    void setDialogs(Dialogs* dialogs) override { form_.setDialogs(dialogs); }
    void type(const std::string& control, const std::string& utf8) override;
    void click(const std::string& control) override;
    void execute() override;
    void selectPage(int index) override;
    bool drop(const std::vector<std::string>& paths) override;
    void requestClose() override;
    void pressEscape() override;
    void choose(const std::string& control, int index) override;
    void pump() override;
    std::string text(const std::string& control) override;
    std::string statusText() override;
    int progress() override;
    bool isEnabled(const std::string& control) override;
    bool isEditable(const std::string& control) override;
    Bounds bounds(const std::string& control) override;
    std::string parentName(const std::string& control) override;
    bool showsWholeText(const std::string& label) override;

private:
    // What the window showed as it was destroyed: a close lets a running
    // scan finish its work on the window first, so that is what it left.
    struct LastLook {
        std::map<std::string, std::string> texts;
        std::string status;
        int progress = -1;
    };
    static LRESULT CALLBACK watchDestroy(int code, WPARAM wParam, LPARAM lParam);
    void takeLastLook();

    StartLanguage language_;  // before the form: it is built in this language
    TForm1 form_;
    HHOOK hook_ = nullptr;
    std::optional<LastLook> lastLook_;
};
