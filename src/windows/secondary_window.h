#pragma once

#include <QPoint>
#include <optional>

#include "ui/window.h"

class QWidget;

// Placement and the modal run shared by the small windows: a window opened from another is a
// top-level window transient for it, at the opener's top-left plus an offset. An opener that is
// hidden or parked off screen (the main window waits there) would take the window out of
// sight, so the window is then centred on the screen, as it is when no place is given.
namespace windows {

// True when the window is shown and at least partly on a screen.
bool IsOnScreen(const QWidget* window);

void CenterOnScreen(QWidget& window);

// Moves `window` to `opener`'s top-left + `at`, or centres it (see above).
void PlaceWindow(QWidget& window, const QWidget* opener, std::optional<QPoint> at);

// Bottom right corner of the primary screen's work area.
void PlaceBottomRight(QWidget& window);

// Shows a built window modally and deletes it once closed; returns the value it closed with.
int RunModal(ui::CWindowWnd* window, const QWidget* opener, std::optional<QPoint> at,
             bool topmost = false);

}  // namespace windows
