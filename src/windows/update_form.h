#pragma once

#include <QString>

#include "ui/window.h"

// The update notes ("Update.xml", window name "cUpdate"). Closes with 1 when the user chose to
// update (the update client then starts the updater), 2 otherwise.
class CUpdateForm : public ui::CWindowWnd {
  Q_OBJECT

 public:
  explicit CUpdateForm(const QString& notes, QWidget* parent = nullptr);
  bool Create();

  bool UpdateChosen() const { return m_chosen; }

 protected:
  void Notify(ui::TNotifyUI& msg) override;
  void OnCloseRequest() override { Close(2); }

 private:
  QString m_notes;
  bool m_chosen = false;
};
