// What long work on the window's thread needs from the window, the same for
// a scan and for Execute's test of the padding: the commands off while it
// runs, progress shown, events handled between chunks, and a way to stop.
#pragma once

#include "app/view.h"
#include "size/scan.h"

// Shows progress and lets the window breathe between chunks; Esc or a close
// request stops the work.
class WindowObserver final : public ScanObserver {
public:
    explicit WindowObserver(View& form) : form_(form) {}
    bool beforeChunk(int progressPercent) override {
        form_.setProgress(progressPercent);
        form_.processPendingEvents();
        return !form_.closeRequested() && !form_.scanCancelRequested();
    }

private:
    View& form_;
};

// Turns the commands, Edit1 and drops off for the length of the work, back
// on however it ends.
class CommandsDisabled {
public:
    explicit CommandsDisabled(View& form) : form_(form) { form_.setCommandsEnabled(false); }
    ~CommandsDisabled() { form_.setCommandsEnabled(true); }
    CommandsDisabled(const CommandsDisabled&) = delete;
    CommandsDisabled& operator=(const CommandsDisabled&) = delete;

private:
    View& form_;
};
