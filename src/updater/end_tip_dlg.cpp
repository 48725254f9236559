#include "updater/end_tip_dlg.h"

#include <QTimerEvent>

#include "updater/static_ex.h"

CEndTipDlg::CEndTipDlg(int tickMs, QWidget* parent) : CSkinDialog(parent), m_tickMs(tickMs) {
  setObjectName("101");
  // No taskbar button.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  setFixedSize(kWidth, kHeight);
  SetBackground(CommonImage("score_msg.png"), true);

  QFont title("微软雅黑");
  title.setPixelSize(12);
  title.setBold(true);
  QFont hei("黑体");
  hei.setPixelSize(30);
  hei.setBold(true);
  MakeLabel(this, 1002, "Orvessa", QRect(33, 8, 100, 20), title, Qt::black);
  auto* text = MakeLabel(this, 1003, "软件已更新到最新版本，5秒倒计时后，软件将自动重启...",
                         QRect(33, 60, 234, 40), font(), Qt::black);
  text->setWordWrap(true);
  MakeLabel(this, 1005, "剩余", QRect(100, 120, 30, 15), font(), Qt::black);
  m_digit = MakeLabel(this, 1001, "5", QRect(138, 110, 30, 30), hei, QColor(255, 37, 37));
  MakeLabel(this, 1004, "秒", QRect(170, 120, 15, 15), font(), Qt::black);
}

void CEndTipDlg::showEvent(QShowEvent* event) {
  CSkinDialog::showEvent(event);
  // The countdown starts from 5 each time the window is shown.
  m_count = 5;
  m_digit->setText("5");
  m_timer.start(m_tickMs, this);
}

void CEndTipDlg::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_timer.timerId()) return CSkinDialog::timerEvent(event);
  if (m_count == 0) {
    m_timer.stop();
    done(1);
    return;
  }
  --m_count;
  m_digit->setText(QString::asprintf("%d", m_count));
  m_digit->repaint();
}
