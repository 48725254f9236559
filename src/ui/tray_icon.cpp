#include "ui/tray_icon.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <atomic>

#include "ui/layout_widget.h"
#include "ui/notify.h"

namespace ui {

namespace {
std::atomic<bool> g_forceAvailable{false};
}  // namespace

bool CTrayIcon::Available() { return g_forceAvailable || QSystemTrayIcon::isSystemTrayAvailable(); }

void CTrayIcon::SetAvailableForTesting(bool available) { g_forceAvailable = available; }

CTrayIcon::CTrayIcon(QObject* parent) : QObject(parent) {}

CTrayIcon::~CTrayIcon() { Remove(); }

void CTrayIcon::Add(CLayoutWidget* owner, int id, int callbackMessage, const QString& tip,
                    const QIcon& icon) {
  m_owner = owner;
  m_id = id;
  m_message = callbackMessage;
  if (!m_icon) {
    m_icon = new QSystemTrayIcon(this);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
              int code = 0;
              switch (reason) {
                case QSystemTrayIcon::DoubleClick:
                  code = kMouseLeftDoubleClick;
                  break;
                case QSystemTrayIcon::Context:
                  code = kMouseRightDown;
                  break;
                case QSystemTrayIcon::Trigger:
                  code = kMouseLeftUp;
                  break;
                default:
                  return;
              }
              if (m_owner) m_owner->PostMessage(m_message, m_id, code);
            });
  }
  m_icon->setIcon(icon);
  SetTip(tip);
  if (QSystemTrayIcon::isSystemTrayAvailable()) m_icon->show();
  m_shown = true;
}

void CTrayIcon::Remove() {
  if (m_icon) m_icon->hide();
  m_shown = false;
}

void CTrayIcon::SetTip(const QString& tip) {
  m_tip = tip.left(kMaxTipLength);
  if (m_icon) m_icon->setToolTip(m_tip);
}

int CTrayIcon::PopupMenu(const QList<QPair<int, QString>>& items) {
  QMenu menu;
  for (const auto& [command, text] : items) menu.addAction(text)->setData(command);
  QAction* chosen = menu.exec(QCursor::pos());
  return chosen ? chosen->data().toInt() : 0;
}

}  // namespace ui
