#pragma once
// The one place an escaping error ends up. Every window-event entry point runs its work
// through runGuarded; an error that leaves the work is reported (a message box with its
// number and text, also written to stderr) and ends the process with exit status 1.
// With no display (the offscreen or minimal platforms) or with CELSHADE_NO_ERROR_DIALOG set,
// the report is only written.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace ui {

// "Run-time error '6':\n\nOverflow"; a status (negative number) also shows its hex form:
// "Run-time error '-2005530516 (8876086C)':".
std::string errorReportText(int32_t number, const std::string& text);

[[noreturn]] void reportFatalError(int32_t number, const std::string& text);

// "Cannot open \"NAME\".\n\nError NUMBER: TEXT", NAME the file's name (a status also
// shows its hex form, as errorReportText does).
std::string modelErrorText(const std::string& modelPath, int32_t number, const std::string& text);
// A model the user chose could not be opened: the program goes on, and the report is written
// to stderr and shown in a message box that does not wait to be dismissed.
void reportModelError(const std::string& modelPath, int32_t number, const std::string& text);

// Runs handler; an error escaping it is reported and ends the process.
void runGuarded(const std::function<void()>& handler);

// Makes rt::processPendingEvents() run Qt's pending events (the program's event step), and
// rt::waitForEvents() sleep in Qt's event loop until one is due.
void installQtEventProcessing();

}  // namespace ui
