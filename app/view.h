// What the handlers need from the main window, free of any toolkit. Each
// binding (Qt, Win32) implements it; tests use a fake.
#pragma once

#include <optional>
#include <string>

enum class EditId { Edit1, Edit5, Edit6, Edit7, Edit8 };
enum class LabelId { Label1, Label4, Label5, Label9 };

class View {
public:
    virtual ~View() = default;

    virtual std::string editText(EditId edit) const = 0;
    virtual void setEdit1Text(const std::string& text) = 0;
    virtual void setLabelCaption(LabelId label, const std::string& caption) = 0;
    virtual bool isCheckBox1Checked() const = 0;
    virtual void setProgress(int position) = 0;
    virtual void setStatusText(const std::string& text) = 0;

    // Lets the event loop handle pending window events, then returns.
    virtual void processPendingEvents() = 0;
    // True once the user has asked to close the window; long work stops.
    virtual bool closeRequested() const = 0;
    // Button1 and E1: off while a scan runs, so nothing acts on a half-known size.
    virtual void setCommandsEnabled(bool enabled) = 0;

    // Modal box with the text, the application title and an OK button.
    virtual void showMessage(const std::string& text) = 0;
    // Modal folder chooser; nullopt when cancelled. Paths are UTF-8.
    virtual std::optional<std::string> chooseFolder(const std::string& title,
                                                    const std::string& initialFolder) = 0;
    // The window's platform handle, as owner of system dialogs.
    virtual void* nativeHandle() const = 0;
};
