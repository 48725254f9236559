#pragma once

#include <functional>

// Workers never touch a widget. They hand the change to the window thread with Post, or, when
// they need an answer (a question to the user), block on Ask.
namespace ui {

// True on the thread that owns the widgets.
bool IsWindowThread();

// Runs `task` on the window thread, later. Callers capture QPointers to the widgets they
// change and check them there: the window may be gone by then. Without an application
// object the task runs at once on the calling thread.
void Post(std::function<void()> task);

// Runs `question` on the window thread and waits for its answer. On the window thread itself
// it runs at once. The window thread must not be waiting for the caller meanwhile.
int Ask(std::function<int()> question);

}  // namespace ui
