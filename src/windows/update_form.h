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
  // Builds the notes and shows them modally at (100, 210) of the opener; 1 when the user
  // chose to update, -1 when the window cannot be built.
  static int Show(QWidget* opener, const QString& notes);

  bool UpdateChosen() const { return m_chosen; }

 protected:
  void Notify(ui::TNotifyUI& msg) override;
  void OnCloseRequest() override { Close(2); }

 private:
  QString m_notes;
  bool m_chosen = false;
};
