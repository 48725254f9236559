#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <functional>

namespace ui {

// Creates the program's own controls by the class name a layout gives them; nullptr leaves the
// class to the toolkit (a standard widget, or a plain container when the class is unknown).
using ControlFactory = std::function<QWidget*(const QString& className, QWidget* parent)>;

// Builds a layout file of the skin into widgets. One builder keeps the layout text it read, so
// list rows built again and again read the skin once.
class CDialogBuilder {
 public:
  // Builds `layout` (e.g. "Login.xml") under `parent`. Returns the layout's top widget, or
  // nullptr when the skin lacks the file or the file is not a layout.
  QWidget* Create(const QString& layout, const ControlFactory& factory = {},
                  QWidget* parent = nullptr);

  // Builds from layout text directly.
  static QWidget* CreateFromText(const QByteArray& xml, const ControlFactory& factory,
                                 QWidget* parent);

  QString LastError() const { return m_error; }

 private:
  QString m_layout;
  QByteArray m_xml;
  QString m_error;
};

}  // namespace ui
