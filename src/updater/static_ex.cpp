#include "updater/static_ex.h"

CStaticEx::CStaticEx(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAutoFillBackground(false);
  // Clicks go to the window below, which can be dragged at any point.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setStyleSheet("background: transparent;");
}

void CStaticEx::SetTextColor(const QColor& color) {
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, color);
  setPalette(pal);
}

CStaticEx* MakeLabel(QWidget* parent, int id, const QString& text, const QRect& geometry,
                     const QFont& font, const QColor& color) {
  auto* label = new CStaticEx(text, parent);
  label->setObjectName(QString::number(id));
  label->setGeometry(geometry);
  label->setFont(font);
  label->SetTextColor(color);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}
