#pragma once

#include <functional>

class CFormMain;

// The whole program from `main`: start-up steps, the main window, the message loop.
// `wire` plugs the other parts into the main window before it starts. Returns the exit code.
int RunKestrane(int argc, char** argv, const std::function<void(CFormMain&)>& wire);
