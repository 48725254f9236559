#pragma once

#include <QString>

class QWidget;

// Control operations the screens use by name, whatever widget a layout put there.
namespace ui {

// Text of labels, buttons, edits and editable combo boxes.
void SetText(QWidget* control, const QString& text);
QString Text(QWidget* control);

// The control's background image, a skin file name ("Login\3.png" or "Login/3.png"); an
// empty name clears it.
void SetBkImage(QWidget* control, const QString& name);
QString BkImage(QWidget* control);

void SetEnabled(QWidget* control, bool enabled);
void SetVisible(QWidget* control, bool visible);

// Tab layouts (stacked widgets, tab widgets), combo boxes and lists: the selected page or
// item; -1 when none or not such a control.
bool SelectItem(QWidget* control, int index);
int GetCurSel(QWidget* control);

// Check boxes and options.
void SetCheck(QWidget* control, bool checked);
bool GetCheck(QWidget* control);

// Progress bars and sliders.
void SetValue(QWidget* control, int value);

// A text the program keeps with a control.
void SetUserData(QWidget* control, const QString& data);
QString UserData(QWidget* control);

}  // namespace ui
