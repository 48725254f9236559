#pragma once

#include <QString>

class QWidget;

namespace ui {
class CScreenPage;
}

// The main window's pages and test screens by the class names the layouts give them. A class
// without an entry stays the toolkit's empty container.
namespace screens {

ui::CScreenPage* Create(const QString& className, QWidget* parent);
bool Known(const QString& className);

}  // namespace screens
