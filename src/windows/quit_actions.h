#pragma once

#include <functional>

// The two ways out of the program: quitting (the quit question's OK and the tray menu) and
// logging off (restarted through the updater with the word "logoff").
namespace quit {

// Deletes the user's history rows unless the settings keep them, then ends the process at once.
void QuitProgram();

// Starts "./Update logoff" hidden and returns; the updater ends this program and starts it
// again. When the updater cannot be started, this program starts "./Kestrane logoff" itself
// and ends at once, as the updater would have. False when neither could be started.
bool LogOff();

// How the process ends; _exit unless replaced (tests).
void SetExitHandler(std::function<void(int)> exit);

}  // namespace quit
