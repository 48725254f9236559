#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace ui {

// Notification kinds as the screens compare them.
inline constexpr const char* kWindowInit = "windowinit";
inline constexpr const char* kClick = "click";
inline constexpr const char* kSelectChanged = "selectchanged";
inline constexpr const char* kItemSelect = "itemselect";
inline constexpr const char* kTextChanged = "textchanged";
inline constexpr const char* kSetFocus = "setfocus";
inline constexpr const char* kReturn = "return";
// Mouse events on a control, with their event type numbers.
inline constexpr const char* kButtonDown = "buttondown";
inline constexpr const char* kDoubleClick = "dbclick";
inline constexpr int kEventButtonDown = 13;
inline constexpr int kEventDoubleClick = 16;

// Window messages and tray mouse codes.
inline constexpr int kUserMessage = 1024;
inline constexpr int kTrayCallbackMessage = kUserMessage + 1;  // 1025
inline constexpr int kTrayIconId = 100;
inline constexpr int kMouseLeftUp = 514;
inline constexpr int kMouseLeftDoubleClick = 515;
inline constexpr int kMouseRightDown = 516;

// One notification: what happened, to which named control.
struct TNotifyUI {
  QString sType;
  QString senderName;
  QPointer<QWidget> pSender;
  int eventType = 0;  // kEventButtonDown / kEventDoubleClick for mouse events, else 0
  int wParam = 0;     // item index for "itemselect", check state for "selectchanged"
};

}  // namespace ui
