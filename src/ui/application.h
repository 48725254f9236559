#pragma once

#include <QString>

// Process-wide set-up of the toolkit, once, on the window thread after the QApplication
// exists: fonts, the skin zip from the program folder, the program's icon.
namespace ui {

inline constexpr const char* kSkinZip = "Skin.zip";

// Sets up fonts and opens `zipPath` as the skin. False when the skin cannot be opened.
bool InitToolkit(const QString& zipPath = kSkinZip);

// Runs the window thread's message loop until the program quits.
int MessageLoop();

}  // namespace ui
