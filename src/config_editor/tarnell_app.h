#pragma once

// The program: shows the dialog modally and ends when it closes. It works in the current
// directory and never changes it.
class CTarnellApp {
 public:
  int Run();
};
