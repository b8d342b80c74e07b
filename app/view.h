// What the handlers need from the main window, free of any toolkit. Each
// binding (Qt, Win32) implements it; tests use a fake.
#pragma once

#include <optional>
#include <string>

enum class EditId { Edit1, Edit5, Edit6, Edit7, Edit8 };
enum class LabelId { Label1, Label4, Label5, Label9 };

// The modal dialogs of the window. Bindings show the real ones; tests put
// stand-ins in their place through the binding's setDialogs.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal box with the text, the application title and an OK button.
    virtual void showMessage(const std::string& text) = 0;
    // Modal question with Yes and No buttons, No the default and Esc
    // meaning No; true for Yes.
    virtual bool askYesNo(const std::string& text) = 0;
    // Modal folder chooser; nullopt when cancelled. Paths are UTF-8.
    virtual std::optional<std::string> chooseFolder(const std::string& title, const std::string& initialFolder) = 0;
};

class View {
public:
    virtual ~View() = default;

    // Edit1 gives back the exact bytes of a path set by setEdit1Text (a
    // dropped name need not be UTF-8) until the user edits it; the other
    // fields give their UTF-8 text.
    virtual std::string editText(EditId edit) const = 0;
    virtual void setEdit1Text(const std::string& path) = 0;
    virtual void setLabelCaption(LabelId label, const std::string& caption) = 0;
    virtual bool isCheckBox1Checked() const = 0;
    // The padding byte chosen in ComboBox1: 0 for 0x00, 1 for 0xFF, 2 for
    // automatic (the file's last byte when it is 0x00 or 0xFF).
    virtual int padChoiceIndex() const = 0;
    virtual void setProgress(int position) = 0;
    // Shown as plain text, never as markup.
    virtual void setStatusText(const std::string& text) = 0;

    // Lets the event loop handle pending window events, then returns.
    virtual void processPendingEvents() = 0;
    // True once the user has asked to close the window; long work stops.
    virtual bool closeRequested() const = 0;
    // True once the user has pressed Esc during the scan under way: the
    // scan stops, the window stays.
    virtual bool scanCancelRequested() const = 0;
    // Gives the keyboard focus to Button1, where a scan is started.
    virtual void focusScanButton() = 0;
    // Off while a scan or Execute's long work runs: Button1, E1 and Button3,
    // typing in Edit1 and the unit fields, CheckBox1, and drops on the
    // window, so nothing acts on or changes a half-known size.
    virtual void setCommandsEnabled(bool enabled) = 0;

    virtual Dialogs& dialogs() = 0;
};
