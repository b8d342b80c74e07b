// The native pieces around the window: COM for the shell's folder browser,
// the real modal dialogs, and the last-resort error box.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/view.h"

// Our own message boxes carry the application title from the layout table.
std::wstring application_title();

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

// MessageBoxW and SHBrowseForFolderW, owned by the window whose handle
// `owner` refers to (read at each call: the handle changes when the window
// is destroyed).
std::unique_ptr<Dialogs> make_native_dialogs(const HWND& owner);
