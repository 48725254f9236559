#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

class QMenu;
class QSystemTrayIcon;

namespace ui {

class CLayoutWidget;

// The notification area icon. Mouse events reach the owning window as the posted message
// `callbackMessage` with wParam = the icon id and lParam = the mouse code (515 left double
// click, 516 right button down, 514 left click).
class CTrayIcon : public QObject {
  Q_OBJECT

 public:
  explicit CTrayIcon(QObject* parent = nullptr);
  ~CTrayIcon() override;

  void Add(CLayoutWidget* owner, int id, int callbackMessage, const QString& tip,
           const QIcon& icon);
  void Remove();
  void SetTip(const QString& tip);
  // Shows a menu of items at the cursor; returns the chosen command, 0 when none.
  int PopupMenu(const QList<QPair<int, QString>>& items);

  bool IsShown() const { return m_shown; }

  // Whether the desktop has a notification area to put an icon in.
  static bool Available();
  // Makes Available() true without a notification area (tests on the offscreen platform).
  static void SetAvailableForTesting(bool available);
  QString Tip() const { return m_tip; }

  static constexpr int kMaxTipLength = 127;

 private:
  QSystemTrayIcon* m_icon = nullptr;
  QPointer<CLayoutWidget> m_owner;
  int m_id = 0;
  int m_message = 0;
  bool m_shown = false;
  QString m_tip;
};

}  // namespace ui
