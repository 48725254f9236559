#pragma once

#include <QBasicTimer>

#include "updater/skin_dialog.h"

class CStaticEx;

// The restart countdown shown before a running Kestrane is stopped to install: 5 seconds,
// then it closes by itself with result 1.
class CEndTipDlg : public CSkinDialog {
  Q_OBJECT
 public:
  explicit CEndTipDlg(int tickMs = 1000, QWidget* parent = nullptr);

  static constexpr int kWidth = 300;
  static constexpr int kHeight = 200;

 protected:
  void showEvent(QShowEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  int m_tickMs;
  int m_count = 5;
  QBasicTimer m_timer;  // timer 1
  CStaticEx* m_digit;
};
