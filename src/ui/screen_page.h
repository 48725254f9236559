#pragma once

#include <atomic>
#include <memory>

#include "ui/layout_widget.h"

namespace ui {

// Whether the video page's player can be used: still loading, ready, or not at all.
enum class PlayerState { Pending, Ready, Unavailable };

// A page of the main window (a test screen, the history, the settings), built by class name
// through the builder callback. The main window calls these hooks on every page it holds and
// knows nothing else of a page, so a page can also stand alone in a small host window.
class CScreenPage : public CLayoutWidget {
 public:
  using CLayoutWidget::CLayoutWidget;

  // The main window has received "windowinit".
  virtual void OnMainWindowInit() {}
  // A login was accepted and the user's data is in place.
  virtual void OnLogin() {}
  // The page became the current one.
  virtual void OnShown() {}
  // Embedded windows (a browser, a player) are hidden while the main window is parked or
  // another tab is shown.
  virtual void HideEmbedded() {}
  // The gauge faces and images of the alternate look ("ChangeSkinbtn").
  virtual void SetAlternateLook(bool alternate) { (void)alternate; }
  // Only the video page has a player; the main window waits for it before the login.
  virtual std::shared_ptr<std::atomic<PlayerState>> PlayerStateHandle() { return nullptr; }
};

}  // namespace ui
