#pragma once

#include <QColor>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QSize>

class QWidget;

// A soft drop shadow under a top-level window: a frameless, translucent window that ignores
// input, drawn from the host's shape (its mask, else its rectangle) and kept under the host as
// it moves, resizes, shows and hides. Where translucency cannot be shown (an X11 desktop
// without a compositing manager, or Wayland, where windows cannot be placed) it stays
// disabled; the offscreen platform draws it.
class CWndShadow : public QObject {
  Q_OBJECT

 public:
  // Status bits.
  static constexpr int kEnabled = 1;
  static constexpr int kVisible = 2;
  static constexpr int kHostVisible = 4;
  static constexpr int kDisabledByComposition = 8;

  // One-time set-up at program start, after the application object exists. False when no
  // shadow can ever be made.
  static bool Initialize();
  // Whether the desktop cannot show the shadow now.
  static bool CompositionDisablesShadow();

  CWndShadow() = default;
  ~CWndShadow() override;
  CWndShadow(const CWndShadow&) = delete;
  CWndShadow& operator=(const CWndShadow&) = delete;

  // Attaches to a host window (once). False when shadows cannot be made.
  bool Create(QWidget* host);

  void SetSize(int size);            // -20..20: reach beyond the host
  void SetSharpness(int sharpness);  // 0..20: width of the soft edge
  void SetDarkness(int darkness);    // 0..255: opacity of the core
  void SetPosition(int x, int y);    // -20..20: shift against the host
  void SetColor(const QColor& color);

  // The desktop's composition may have changed: asks again and shows or hides accordingly.
  void OnCompositionChanged();

  int Status() const { return m_status; }
  QWidget* ShadowWindow() const { return m_window; }
  const QImage& Bitmap() const { return m_bitmap; }

  // The shadow of a host `hostSize` big whose shape is `shape` (host coordinates; empty means
  // the whole rectangle): a premultiplied image grown by `size` on every side.
  static QImage Draw(QSize hostSize, const QRegion& shape, int size, int sharpness, int darkness,
                     const QColor& color);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowShadow();
  void HideShadow();
  void Redraw();
  void Place();
  bool HostShowable() const;
  bool Allowed() const;

  QPointer<QWidget> m_host;
  QPointer<QWidget> m_window;
  QImage m_bitmap;
  int m_status = 0;
  int m_darkness = 150;
  int m_sharpness = 5;
  int m_size = 0;
  int m_x = 0;
  int m_y = 0;
  QSize m_lastSize;
  bool m_needsUpdate = false;
  QColor m_color = Qt::black;
};
