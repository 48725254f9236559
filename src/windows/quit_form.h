#pragma once

#include <QPoint>
#include <QString>
#include <optional>

#include "ui/window.h"

// The quit and log-off question ("QuitForm.xml", window name "QuitUI"). Its OK quits when the
// text is the quit question, and logs off otherwise.
class CQuitForm : public ui::CWindowWnd {
  Q_OBJECT

 public:
  CQuitForm(const QString& text, QWidget* parent = nullptr);
  bool Create();

  // Builds and shows the question modally; -1 when it cannot be built.
  static int Show(QWidget* opener, const QString& text, std::optional<QPoint> at = {});

  static constexpr const char* kQuitText = "是否退出软件！";
  static constexpr const char* kLogOffText = "是否注销软件！";

 protected:
  void Notify(ui::TNotifyUI& msg) override;
  void OnCloseRequest() override { Close(2); }

 private:
  QString m_text;
};
