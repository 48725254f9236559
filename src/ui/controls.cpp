#include "ui/controls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPixmapCache>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSlider>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>

#include "ui/skin.h"

namespace ui {

namespace {
const char kBkImageProperty[] = "bkimage";

QPixmap SkinPixmap(const QString& path) {
  QPixmap pixmap;
  if (!QPixmapCache::find(path, &pixmap)) {
    pixmap.load(path);
    QPixmapCache::insert(path, pixmap);
  }
  return pixmap;
}
}  // namespace

void SetText(QWidget* control, const QString& text) {
  if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(text);
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    edit->setText(text);
  } else if (auto* rich = qobject_cast<QTextEdit*>(control)) {
    rich->setPlainText(text);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
    plain->setPlainText(text);
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    if (combo->isEditable()) combo->setEditText(text);
  }
}

QString Text(QWidget* control) {
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
  if (auto* rich = qobject_cast<QTextEdit*>(control)) return rich->toPlainText();
  if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) return plain->toPlainText();
  if (auto* combo = qobject_cast<QComboBox*>(control)) return combo->currentText();
  return {};
}

void SetBkImage(QWidget* control, const QString& name) {
  if (!control) return;
  QString normalized = name;
  normalized.replace('\\', '/');
  if (control->property(kBkImageProperty).toString() == normalized) return;
  control->setProperty(kBkImageProperty, normalized);
  QString path = normalized.isEmpty() ? QString() : SkinFilePath(normalized);
  if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setPixmap(path.isEmpty() ? QPixmap() : SkinPixmap(path));
    return;
  }
  control->setStyleSheet(path.isEmpty() ? QString()
                                        : QString("border-image: url(\"%1\");").arg(path));
}

QString BkImage(QWidget* control) {
  return control ? control->property(kBkImageProperty).toString() : QString();
}

void SetEnabled(QWidget* control, bool enabled) {
  if (control) control->setEnabled(enabled);
}

void SetVisible(QWidget* control, bool visible) {
  if (control) control->setVisible(visible);
}

bool SelectItem(QWidget* control, int index) {
  auto inRange = [index](int count) { return index >= 0 && index < count; };
  if (auto* stack = qobject_cast<QStackedWidget*>(control)) {
    if (!inRange(stack->count())) return false;
    stack->setCurrentIndex(index);
  } else if (auto* tabs = qobject_cast<QTabWidget*>(control)) {
    if (!inRange(tabs->count())) return false;
    tabs->setCurrentIndex(index);
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    if (!inRange(combo->count())) return false;
    combo->setCurrentIndex(index);
  } else if (auto* list = qobject_cast<QListWidget*>(control)) {
    if (!inRange(list->count())) return false;
    list->setCurrentRow(index);
  } else {
    return false;
  }
  return true;
}

int GetCurSel(QWidget* control) {
  if (auto* stack = qobject_cast<QStackedWidget*>(control)) return stack->currentIndex();
  if (auto* tabs = qobject_cast<QTabWidget*>(control)) return tabs->currentIndex();
  if (auto* combo = qobject_cast<QComboBox*>(control)) return combo->currentIndex();
  if (auto* list = qobject_cast<QListWidget*>(control)) return list->currentRow();
  return -1;
}

void SetCheck(QWidget* control, bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setCheckable(true);
    button->setChecked(checked);
  }
}

bool GetCheck(QWidget* control) {
  auto* button = qobject_cast<QAbstractButton*>(control);
  return button && button->isChecked();
}

void SetValue(QWidget* control, int value) {
  if (auto* bar = qobject_cast<QProgressBar*>(control)) {
    bar->setValue(value);
  } else if (auto* slider = qobject_cast<QAbstractSlider*>(control)) {
    slider->setValue(value);
  }
}

void SetUserData(QWidget* control, const QString& data) {
  if (control) control->setProperty("userdata", data);
}

QString UserData(QWidget* control) {
  return control ? control->property("userdata").toString() : QString();
}

}  // namespace ui
