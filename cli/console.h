// The program's standard streams and signals, on either platform.
#pragma once

#include <string>
#include <string_view>

// Writes UTF-8 text as it is to standard output or standard error; a
// Windows console gets it as UTF-16, so every character shows. False when
// not all of it could be written (a full disk, a closed pipe).
bool write_out(std::string_view text);
bool write_err(std::string_view text);

// Why the last write_out failed, for the message that says so.
std::string output_error_text();

// Whether standard error is a terminal (a console on Windows): only then is
// progress shown.
bool stderr_is_terminal();

// From here on, Ctrl-C and termination requests (SIGINT, SIGTERM, SIGHUP;
// on Windows the console's control events) only set a flag, so that the
// file being worked on can be put back before the program ends. A signal
// ignored when the program started (nohup, a script's background job)
// stays ignored. A closed pipe on standard output is a failed write, not
// the end of the program.
void install_interrupt_handlers();

// 0 while nothing has asked the program to stop; otherwise its exit status:
// 130 for Ctrl-C, 143 for a termination request, 129 for a hang-up.
int interrupt_exit_status();

// Tells a pending Windows close event that the program is done; the system
// ends the process as soon as that handler returns.
void mark_finished();
