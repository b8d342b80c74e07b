// Process start: the one window and its message loop.
#include <exception>
#include <string>

#include "app/form.h"
#include "app/win32/main_window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    try {
        const ComApartment apartment;
        TForm1 form;
        Form1 = &form;
        form.show(showCommand);
        MSG message;
        // 0 on WM_QUIT, which the window posts once it has been closed; -1
        // on an error, after which no message will ever come.
        while (GetMessageW(&message, nullptr, 0, 0) > 0) form.dispatchMessage(message);
        Form1 = nullptr;
    } catch (const std::exception& error) {
        Form1 = nullptr;
        show_exception(nullptr, error.what());
    } catch (...) {
        Form1 = nullptr;
        show_exception(nullptr, std::string());
    }
    return 0;
}
