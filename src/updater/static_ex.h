#pragma once

#include <QLabel>

// A label drawn on a transparent background, over the window's image.
class CStaticEx : public QLabel {
  Q_OBJECT
 public:
  explicit CStaticEx(const QString& text = {}, QWidget* parent = nullptr);
  // Sets the text colour.
  void SetTextColor(const QColor& color);
};

// A transparent label with the given font, text colour and id, placed at `geometry`.
CStaticEx* MakeLabel(QWidget* parent, int id, const QString& text, const QRect& geometry,
                     const QFont& font, const QColor& color);
